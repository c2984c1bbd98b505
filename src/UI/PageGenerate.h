#pragma once

#include "DesktopOpener.h"
#include "JobOutcome.h"
#include "ThumbnailIcons.h"
#include "engine/ThumbEngine.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariant>

#include <functional>

class QMainWindow;
class QTreeWidgetItem;

namespace Ui {
class MainWindow;
}

// Drives the generation page: the buttons' states, progress, the results list with its
// thumbnails' pictures, preview and context menu, and the window's tray icon while the window
// works in the background.
class PageGenerate : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PageGenerate)

public:
    // Whether a tray host is there now: it may come or go while the program runs.
    using TrayCheck = std::function<bool()>;

    explicit PageGenerate(QObject* parent = nullptr);

    // Binds the window's widgets and `tray`, the window's icon while it works in the
    // background.
    void setup(Ui::MainWindow* form, QMainWindow* window, QSystemTrayIcon* tray,
               TrayCheck trayCheck);

    // A job is about to start: progress and results start afresh.
    void jobStarted();
    // Stop was asked for; Generate waits for the end of the stopped job.
    void stopRequested();
    void onStatus(ThumbEngine::SigStatus status, const QVariant& data);
    void onGenerated(const ThumbEngine::ThumbnailFiles& files);
    void onJobDone(ThumbEngine::ThumbStatus status);

    void showContextMenu(const QPoint& pos);
    void goToFile();
    void copyFilePath();
    void copyAllFileNames();

    // Hides the window to the tray, or minimises it where there is no tray.
    void toBackground();
    // Shows the window again and hides the tray icon.
    void fromTray();
    // The window closes: the tray icon goes with it.
    void removeTray();

public slots:
    void onFileDone(const FileReport& report);

private:
    void setRunning(bool running);
    void orderByPage(const FileReport& report);
    JobOutcome showOutcome(ThumbEngine::ThumbStatus status);
    void showSelected();
    void openThumbnail(QTreeWidgetItem* item);
    void leaveTray();

    Ui::MainWindow* ui = nullptr;
    QMainWindow* window = nullptr;
    TrayCheck hasTray;
    qint32 numFiles = 0;
    qint32 processedFiles = 0;
    qint32 lastPercent = 0;
    QElapsedTimer jobTime;
    qint32 upToDate = 0; // sources of the job passed over as up to date
    qint32 passedOver = 0; // Miravel's own thumbnails among them
    QMenu contextMenu;
    QTreeWidgetItem* contextItem = nullptr;
    QSystemTrayIcon* trayIcon = nullptr;
    // Polls the tray while the window hides in it (Qt tells nothing when the host quits).
    QTimer trayWatch;
    ThumbnailIcons icons;
    DesktopOpener opener;
};
