#include "PageGenerate.h"
#include "ui_MainWindow.h"

#include "JobOutcome.h"
#include "OpenFailures.h"
#include "job/Names.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QMainWindow>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>

PageGenerate::PageGenerate(QObject* parent)
    : QObject(parent)
{
}

void PageGenerate::setup(Ui::MainWindow* form, QMainWindow* mainWindow, QSystemTrayIcon* tray,
                         TrayCheck trayCheck)
{
    ui = form;
    window = mainWindow;
    trayIcon = tray;
    hasTray = std::move(trayCheck);
    contextMenu.addAction(ui->actionGo_to_File);
    contextMenu.addAction(ui->actionCopy_File_Path);
    contextMenu.addAction(ui->actionCopy_All_File_Names);
    trayWatch.setInterval(1000);
    connect(&trayWatch, &QTimer::timeout, this, [this] {
        if (!hasTray())
            leaveTray();
    });
    icons.setup(ui->treeThumbnails);
    warnWhenOpenFails(opener, window);
    connect(ui->treeThumbnails, &QTreeWidget::currentItemChanged, this,
            &PageGenerate::showSelected);
    connect(ui->treeThumbnails, &QTreeWidget::itemDoubleClicked, this,
            &PageGenerate::openThumbnail);
    connect(ui->btnPreview, &QAbstractButton::toggled, ui->previewThumbnail, &QWidget::setVisible);
}

void PageGenerate::setRunning(bool running)
{
    ui->btnGenerate->setEnabled(!running);
    ui->btnStop->setEnabled(running);
    ui->btnBackground->setEnabled(running);
}

void PageGenerate::jobStarted()
{
    numFiles = processedFiles = lastPercent = upToDate = passedOver = 0;
    ui->progressBar->setValue(0);
    ui->lblCurrentFile->clear();
    ui->lblOutcome->clear();
    // Any item the context menu remembered goes with the list.
    contextItem = nullptr;
    ui->treeThumbnails->clear();
    ui->previewThumbnail->clear();
    setRunning(true);
    jobTime.start();
}

void PageGenerate::stopRequested()
{
    // Generate stays disabled until the engine reports the end of the stopped job.
    ui->btnStop->setEnabled(false);
    ui->btnBackground->setEnabled(false);
    ui->progressBar->setValue(0);
}

void PageGenerate::onStatus(ThumbEngine::SigStatus status, const QVariant& data)
{
    switch (status) {
    case ThumbEngine::KNumFiles:
        numFiles = data.toInt();
        ui->lblFilesNumber->setText(QString::number(numFiles));
        qDebug() << "MainWindow::onStatus"
                 << " KNumFiles: " << numFiles;
        break;
    case ThumbEngine::KCurrentFile: {
        ++processedFiles;
        const int percent = numFiles > 0 ? int(double(processedFiles) / numFiles * 100.0) : 0;
        if (percent != lastPercent) {
            lastPercent = percent;
            ui->progressBar->setValue(percent);
        }
        window->statusBar()->showMessage(tr("Making thumbnails..."));
        ui->lblCurrentFile->setText(data.toString());
        break;
    }
    case ThumbEngine::KFileFound:
        window->statusBar()->showMessage(data.toString());
        break;
    }
}

void PageGenerate::onGenerated(const ThumbEngine::ThumbnailFiles& files)
{
    if (files.isEmpty())
        return;
    auto* source = new QTreeWidgetItem(QStringList {files.firstKey()});
    source->setIcon(0, QIcon(QStringLiteral(":/res/res/logomenu.png")));
    for (const QString& path : files.first())
        new QTreeWidgetItem(source, QStringList {path});
    ui->treeThumbnails->addTopLevelItem(source);
}

// A file that gave thumbnails is listed by onGenerated; one that gave none or was up to date
// is listed here; Miravel's own thumbnails are only counted.
void PageGenerate::onFileDone(const FileReport& report)
{
    if (report.skipped == FileReport::OwnThumbnail) {
        ++passedOver;
        return;
    }
    const bool current = report.skipped == FileReport::UpToDate;
    if (!current && !report.pages.isEmpty()) {
        orderByPage(report);
        return;
    }
    auto* source = new QTreeWidgetItem(QStringList {report.source});
    if (current) {
        ++upToDate;
        source->setIcon(0, window->style()->standardIcon(QStyle::SP_DialogApplyButton));
        source->setToolTip(0, tr("Up to date: its thumbnails were made from it as it is now."));
    } else {
        source->setIcon(0, window->style()->standardIcon(QStyle::SP_MessageBoxWarning));
        source->setToolTip(0, tr("No thumbnails: %1.").arg(FileReport::describe(report.failure)));
    }
    ui->treeThumbnails->addTopLevelItem(source);
}

// The file's thumbnails came as a set; its report has them by page.
void PageGenerate::orderByPage(const FileReport& report)
{
    QTreeWidget* tree = ui->treeThumbnails;
    QTreeWidgetItem* source = tree->topLevelItem(tree->topLevelItemCount() - 1);
    if (!source || source->text(0) != report.source)
        return;
    QHash<QString, QTreeWidgetItem*> byPath;
    for (QTreeWidgetItem* thumbnail : source->takeChildren())
        byPath.insert(thumbnail->text(0), thumbnail);
    for (const QString& path : report.pages) {
        if (QTreeWidgetItem* thumbnail = byPath.take(path))
            source->addChild(thumbnail);
    }
    source->addChildren(byPath.values());
}

// Beside the status bar's last message: how the job ended, how fast, and what it gave.
JobOutcome PageGenerate::showOutcome(ThumbEngine::ThumbStatus status)
{
    JobOutcome outcome;
    outcome.stopped = status == ThumbEngine::KStopped;
    outcome.elapsedMs = jobTime.elapsed();
    outcome.files = processedFiles;
    for (int i = 0; i < ui->treeThumbnails->topLevelItemCount(); ++i) {
        const int made = ui->treeThumbnails->topLevelItem(i)->childCount();
        outcome.thumbnails += made;
        outcome.filesWithout += made == 0 ? 1 : 0;
    }
    outcome.upToDate = upToDate;
    outcome.passedOver = passedOver;
    // Up-to-date sources are listed without children, yet gave no thumbnail to count as missing.
    outcome.filesWithout -= upToDate;
    ui->lblOutcome->setText(outcome.summary());
    return outcome;
}

void PageGenerate::onJobDone(ThumbEngine::ThumbStatus status)
{
    if (status == ThumbEngine::KFinished)
        ui->progressBar->setValue(100);
    else if (status == ThumbEngine::KStopped)
        ui->progressBar->setValue(0);
    setRunning(false);
    ui->lblCurrentFile->clear();
    const JobOutcome outcome = showOutcome(status);
    if (trayIcon->isVisible()) {
        trayIcon->showMessage(Names::Product, outcome.balloon(), QSystemTrayIcon::Information,
                              10000);
        trayIcon->setToolTip(Names::Product + tr(": Done") + QLatin1Char('\n') + outcome.summary());
    }
}

void PageGenerate::toBackground()
{
    if (!hasTray()) {
        // Without a tray a hidden window could never come back.
        window->showMinimized();
        return;
    }
    QTimer::singleShot(0, window, &QWidget::hide);
    trayIcon->show();
    trayWatch.start();
    trayIcon->showMessage(Names::Product,
                          tr("We will notify you when thumbnails were be generated."),
                          QSystemTrayIcon::Information, 3000);
    trayIcon->setToolTip(Names::Product + tr(": Making thumbnails..."));
}

// The tray host went away while the window hid in it: back where the user can reach it.
void PageGenerate::leaveTray()
{
    removeTray();
    window->showMinimized();
}

void PageGenerate::fromTray()
{
    removeTray();
    window->showNormal();
    window->raise();
    window->activateWindow();
}

void PageGenerate::removeTray()
{
    trayWatch.stop();
    trayIcon->hide();
}

void PageGenerate::showContextMenu(const QPoint& pos)
{
    if (ui->treeThumbnails->topLevelItemCount() == 0)
        return;
    contextItem = ui->treeThumbnails->itemAt(pos);
    if (!contextItem)
        return;
    contextMenu.exec(QCursor::pos());
}

void PageGenerate::goToFile()
{
    if (contextItem)
        opener.showFile(QDir::toNativeSeparators(contextItem->text(0)));
}

void PageGenerate::showSelected()
{
    const QTreeWidgetItem* item = ui->treeThumbnails->currentItem();
    if (item && item->parent())
        ui->previewThumbnail->showFile(item->text(0));
    else
        ui->previewThumbnail->clear();
}

// A thumbnail opens in the desktop's viewer; a source row only folds.
void PageGenerate::openThumbnail(QTreeWidgetItem* item)
{
    if (item->parent())
        opener.open(QUrl::fromLocalFile(item->text(0)));
}

void PageGenerate::copyFilePath()
{
    if (contextItem)
        QApplication::clipboard()->setText(contextItem->text(0));
}

void PageGenerate::copyAllFileNames()
{
    QString names;
    for (int i = 0; i < ui->treeThumbnails->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* source = ui->treeThumbnails->topLevelItem(i);
        for (int c = 0; c < source->childCount(); ++c)
            names += source->child(c)->text(0) + QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(names);
}
