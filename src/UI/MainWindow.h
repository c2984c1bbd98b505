#pragma once

#include "DesktopOpener.h"
#include "PageFileTypes.h"
#include "PageFilesFolders.h"
#include "PageGenerate.h"
#include "PageOutputName.h"
#include "PageThumbOptions.h"
#include "engine/ThumbEngine.h"
#include "options/JobOptions.h"

#include <QMainWindow>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QVariant>

namespace Ui {
class MainWindow;
}

// The five-step wizard that collects a thumbnail job and runs it on the engine. Each page
// has a controller; the window keeps navigation, help, settings and the engine.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(MainWindow)

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Selects these files and folders on the files page.
    void preselectPaths(const QStringList& paths);

    // Address of a help page: 0 introduction, 1 to 5 the wizard's pages in order.
    static QUrl helpPageUrl(int index);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Asked whenever it matters: a tray host may come or go while the program runs.
    virtual bool trayAvailable() const;

private slots:
    void onStatus(ThumbEngine::SigStatus status, QVariant data);
    void onJobDone(ThumbEngine::ThumbStatus status);
    void onGenerated(ThumbEngine::ThumbnailFiles files);
    void on_buttonWizzardNext_clicked();
    void on_buttonWizzardBack_clicked();
    void on_btnTemplateName_clicked();
    void on_btnTemplatePage_clicked();
    void on_btnTemplateCurrentDate_clicked();
    void on_btnTemplateCurrentTime_clicked();
    void on_btnTemplateCreatedDate_clicked();
    void on_btnTemplateCreatedTime_clicked();
    void on_btnTemplateModifiedDate_clicked();
    void on_btnTemplateModifiedTime_clicked();
    void on_btnTemplateFolderName_clicked();
    void on_btnTemplateFileSize_clicked();
    void on_btnTemplateResetDefault_clicked();
    void on_btnOutputFolderImg_clicked();
    void on_checkUserFileFolderImg_stateChanged(int state);
    void on_btnGenerate_clicked();
    void on_btnStop_clicked();
    void on_actionGo_to_File_triggered();
    void on_actionCopy_File_Path_triggered();
    void on_actionCopy_All_File_Names_triggered();
    void on_treeThumbnails_customContextMenuRequested(const QPoint& pos);
    void on_sysTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void on_btnBackground_clicked();
    void on_actionContents_triggered();
    void on_actionAbout_triggered();
    void on_buttonWizzardHelp_clicked();

private:
    void initWindow();
    void checkOfficeComponents();
    void applyOfficeAvailability(bool word, bool excel, bool powerPoint);
    bool canLeavePage(int page, bool backward);
    bool validateFileTypes(bool backward);
    bool validateFilesFolders(bool backward);
    bool validateOutputOptions(bool backward);
    void loadSettings();
    void saveSettings();
    // The values of the option pages.
    JobOptions jobOptions() const;
    ThumbJob buildJob() const;
    void openHelpPage(int index);
    void warn(const QString& text);

    Ui::MainWindow* ui;
    ThumbEngine engine;
    PageFileTypes fileTypesPage;
    PageFilesFolders filesFoldersPage;
    PageThumbOptions thumbOptionsPage;
    PageOutputName outputNamePage;
    PageGenerate generatePage;
    QSettings appSettings;
    QSystemTrayIcon trayIcon;
    DesktopOpener opener; // help pages
};
