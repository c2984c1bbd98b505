#pragma once

#include "PageFileTypes.h"
#include "PageFilesFolders.h"
#include "engine/ThumbEngine.h"
#include "options/JobOptions.h"

#include <QMainWindow>
#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariant>

class QCheckBox;
class QSpinBox;
class QTreeWidgetItem;

namespace Ui {
class MainWindow;
}

// The five-step wizard that collects a thumbnail job and runs it on the engine.
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
    void onFileDone(const FileReport& report);
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
    void on_templateEdit_textChanged(const QString& text);
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
    // The widgets of one file family's options.
    struct FamilyOptions
    {
        qint32 family;
        QSpinBox* width;
        QSpinBox* height;
        QSpinBox* pageFrom; // null where the family has no pages
        QSpinBox* pageTo;
        QCheckBox* keepAspectRatio;
    };
    QList<FamilyOptions> familyOptions() const;

    void initWindow();
    void checkOfficeComponents();
    void applyOfficeAvailability(bool word, bool excel, bool powerPoint);
    bool canLeavePage(int page, bool backward);
    bool validateFileTypes(bool backward);
    bool validateFilesFolders(bool backward);
    bool validateOutputOptions(bool backward);
    void loadSettings();
    void saveSettings();
    void insertTemplateToken(const QString& word);
    // The values of the option pages.
    JobOptions jobOptions() const;
    ThumbJob buildJob() const;
    bool makeOutputFolder();
    ThumbSettings::tOutFormat outputFormat() const;
    void setRunning(bool running);
    void showOutcome(ThumbEngine::ThumbStatus status);
    void leaveTray();
    void openHelpPage(int index);
    void warn(const QString& text);

    Ui::MainWindow* ui;
    ThumbEngine engine;
    qint32 numFiles = 0;
    qint32 processedFiles = 0;
    qint32 lastPercent = 0;
    qint32 upToDate = 0; // sources of the job passed over as up to date
    qint32 passedOver = 0; // Miravel's own thumbnails among them
    PageFileTypes fileTypesPage;
    PageFilesFolders filesFoldersPage;
    QSettings appSettings;
    QMenu contextMenu;
    QTreeWidgetItem* contextItem = nullptr;
    QSystemTrayIcon trayIcon;
    // Polls the tray while the window hides in it (Qt tells nothing when the host quits).
    QTimer trayWatch;
};
