#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AboutDialog.h"
#include "BuildSettings.h"
#include "CompactSpinBoxStyle.h"
#include "FileManager.h"
#include "OpenUrl.h"
#include "job/Names.h"
#include "options/JobBuilder.h"
#include "options/StoredSettings.h"
#include "output/NameTemplate.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace {

const QString DefaultTemplate = JobOptions::DefaultNameFormat;
const QString OfficeWarningDontShowKey = QStringLiteral("MVSOfficeWarningDontShow");

const QStringList HelpPages = {QStringLiteral("help-introduction-system-requirements.html"),
                               QStringLiteral("help-how-to-select-file-types.html"),
                               QStringLiteral("help-how-to-select-files-and-folders.html"),
                               QStringLiteral("help-how-to-appearance-options.html"),
                               QStringLiteral("help-how-thumbnails-output-options.html"),
                               QStringLiteral("help-how-to-generate-thumbnails.html")};

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , appSettings(Names::Maker, Names::Product)
    , trayIcon(this)
{
    ui->setupUi(this);
    // The fixed 42-pixel boxes must show every value up to 1000.
    auto* compact = new CompactSpinBoxStyle(this);
    for (const FamilyOptions& f : familyOptions()) {
        for (QSpinBox* spin : {f.width, f.height, f.pageFrom, f.pageTo}) {
            if (spin)
                compact->apply(spin);
        }
    }
    // A click that took the focus would make the template field drop the selection that a
    // token is meant to replace.
    for (QPushButton* token :
         {ui->btnTemplateName, ui->btnTemplatePage, ui->btnTemplateCurrentDate,
          ui->btnTemplateCurrentTime, ui->btnTemplateCreatedDate, ui->btnTemplateCreatedTime,
          ui->btnTemplateModifiedDate, ui->btnTemplateModifiedTime, ui->btnTemplateFolderName,
          ui->btnTemplateFileSize})
        token->setFocusPolicy(Qt::TabFocus);

    connect(&engine, &ThumbEngine::sigDone, this, &MainWindow::onJobDone);
    connect(&engine, &ThumbEngine::sigStatus, this, &MainWindow::onStatus);
    connect(&engine, &ThumbEngine::sigGenerated, this, &MainWindow::onGenerated);
    connect(&engine, &ThumbEngine::sigFileDone, this, &MainWindow::onFileDone);
    connect(&trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::on_sysTrayActivated);
    trayWatch.setInterval(1000);
    connect(&trayWatch, &QTimer::timeout, this, [this] {
        if (!trayAvailable())
            leaveTray();
    });

    initWindow();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::initWindow()
{
    loadSettings();
    trayIcon.setIcon(QIcon(QStringLiteral(":/res/res/logomenu.png")));
    filesFoldersPage.setupView(ui->treeFiles);
    checkOfficeComponents();

    QString appFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!appFolder.endsWith(QDir::separator()))
        appFolder += QDir::separator();
    engine.setPdf2PngPath(appFolder + QDir::toNativeSeparators(Names::Pdf2PngTool));
    engine.start(QThread::InheritPriority);

    contextMenu.addAction(ui->actionGo_to_File);
    contextMenu.addAction(ui->actionCopy_File_Path);
    contextMenu.addAction(ui->actionCopy_All_File_Names);
}

QList<MainWindow::FamilyOptions> MainWindow::familyOptions() const
{
    return {
        {Word, ui->wordSpinThumbWidth, ui->wordSpinThumbHeight, ui->wordSpinPageFrom,
         ui->wordSpinPageTo, ui->wordCheckKeepAspectRatio},
        {Excel, ui->excelSpinThumbWidth, ui->excelSpinThumbHeight, ui->excelSpinPageFrom,
         ui->excelSpinPageTo, ui->excelCheckKeepAspectRatio},
        {PowerPoint, ui->ppointSpinThumbWidth, ui->ppointSpinThumbHeight, ui->ppointSpinPageFrom,
         ui->ppointSpinPageTo, ui->pptCheckKeepAspectRatio},
        {Pdf, ui->pdfSpinThumbWidth, ui->pdfSpinThumbHeight, ui->pdfSpinPageFrom, ui->pdfSpinPageTo,
         ui->pdfCheckKeepAspectRatio},
        {Picture, ui->picSpinThumbWidth, ui->picSpinThumbHeight, nullptr, nullptr,
         ui->picCheckKeepAspectRatio},
    };
}

void MainWindow::checkOfficeComponents()
{
    // The answers were computed once, when the engine made its producers.
    applyOfficeAvailability(isWordAvailable(), isExcelAvailable(), isPowerPointAvailable());
}

void MainWindow::applyOfficeAvailability(bool word, bool excel, bool powerPoint)
{
    QString missing;
    if (!word) {
        ui->groupWordOptions->setEnabled(false);
        fileTypesPage.disableFileType(QStringLiteral("Microsoft Word"));
        missing += QStringLiteral("Microsoft Word");
    }
    if (!excel) {
        ui->groupExcelOptions->setEnabled(false);
        fileTypesPage.disableFileType(QStringLiteral("Microsoft Excel"));
        missing += QStringLiteral("\nMicrosoft Excel");
    }
    if (!powerPoint) {
        ui->groupPowerPointOptions->setEnabled(false);
        fileTypesPage.disableFileType(QStringLiteral("Microsoft PowerPoint"));
        missing += QStringLiteral("\nMicrosoft PowerPoint");
    }
    if (missing.isEmpty() || appSettings.value(OfficeWarningDontShowKey, false).toBool())
        return;

    QMessageBox box;
    box.setWindowTitle(Names::Product);
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("The following components of Microsoft Office are missing on your system:\n")
                + missing
                + tr("\n\nPlease, install LibreOffice 7.4 or later with Writer, Calc and Impress "
                     "in order to create thumbnails for specific file types."));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    auto* dontShow = new QCheckBox(tr("Don't show this message again"), &box);
    dontShow->blockSignals(true);
    box.addButton(dontShow, QMessageBox::ResetRole);
    box.exec();
    appSettings.setValue(OfficeWarningDontShowKey, dontShow->isChecked());
}

void MainWindow::on_buttonWizzardNext_clicked()
{
    const int i = ui->toolBox->currentIndex();
    if (!canLeavePage(i, false))
        return;
    ui->toolBox->setCurrentIndex(i + 1);
    ui->stackedWidget->setCurrentIndex(i + 1);
    ui->buttonWizzardNext->setEnabled(i + 1 != ui->toolBox->count() - 1);
    ui->buttonWizzardBack->setEnabled(true);
    // With an office family ticked, the office starts while the user looks at this page.
    if (ui->stackedWidget->currentWidget() == ui->pageGenerate && ui->btnGenerate->isEnabled()) {
        QStringList extensions;
        fileTypesPage.checkedTypes(extensions, true);
        engine.prepare(extensions);
    }
}

void MainWindow::on_buttonWizzardBack_clicked()
{
    const int i = ui->toolBox->currentIndex();
    if (i == 0 || !canLeavePage(i, true))
        return;
    ui->toolBox->setCurrentIndex(i - 1);
    ui->stackedWidget->setCurrentIndex(i - 1);
    ui->buttonWizzardBack->setEnabled(i != 1);
    ui->buttonWizzardNext->setEnabled(true);
}

bool MainWindow::canLeavePage(int page, bool backward)
{
    const QStackedWidget* pages = ui->stackedWidget;
    if (page == pages->indexOf(ui->pageFilesFolders))
        return validateFilesFolders(backward);
    if (page == pages->indexOf(ui->pageFileTypes))
        return validateFileTypes(backward);
    if (page == pages->indexOf(ui->pageGenerate))
        return true;
    if (page == pages->indexOf(ui->pageOutputName))
        return validateOutputOptions(backward);
    return true;
}

void MainWindow::warn(const QString& text)
{
    QMessageBox::warning(this, Names::Product, text, QMessageBox::Ok);
}

bool MainWindow::validateFileTypes(bool backward)
{
    if (backward)
        return true;
    QStringList types;
    fileTypesPage.checkedTypes(types, true);
    if (types.isEmpty()) {
        warn(tr("Please select at least one file type from the list."));
        return false;
    }
    for (QString& type : types)
        type.prepend(QStringLiteral("*."));
    filesFoldersPage.setNameFilters(types);
    return true;
}

bool MainWindow::validateFilesFolders(bool backward)
{
    if (backward)
        return true;
    if (filesFoldersPage.selectedPaths().isEmpty()) {
        warn(tr("Please select at least one item from the folders tree"));
        return false;
    }
    return true;
}

bool MainWindow::validateOutputOptions(bool backward)
{
    if (backward)
        return true;
    bool ok = true;
    if (!ui->checkUserFileFolderImg->isChecked() && ui->lineOutputFolderImg->text().isEmpty()) {
        warn(tr("Please specifiy thumbnails output folder."));
        ok = false;
    }
    if (ui->templateEdit->text().isEmpty()) {
        warn(tr("Please specifiy thumbnails output name format."));
        ok = false;
    }
    return ok;
}

void MainWindow::loadSettings()
{
    StoredSettings stored;
    stored.read(appSettings);
    const JobOptions& options = stored.options;
    fileTypesPage.setupTree(ui->treeFileTypes, stored.fileTypes);
    ui->chkRecursive->setChecked(options.recursive);
    for (const FamilyOptions& f : familyOptions()) {
        const JobOptions::Group group = options.groups.value(f.family);
        f.width->setValue(group.width);
        f.height->setValue(group.height);
        if (f.pageFrom) {
            f.pageFrom->setValue(group.pageStart);
            f.pageTo->setValue(group.pageEnd);
        }
        f.keepAspectRatio->setChecked(group.keepAspectRatio);
    }
    switch (options.outputFormat) {
    case ThumbSettings::OutBmp:
        ui->radioOutputBmp->setChecked(true);
        break;
    case ThumbSettings::OutJpeg:
        ui->radioOutputJpeg->setChecked(true);
        break;
    case ThumbSettings::OutPng:
        ui->radioOutputPng->setChecked(true);
        break;
    }
    ui->lineOutputFolderImg->setText(options.outputFolder);
    ui->checkUserFileFolderImg->setChecked(options.useFileFolder);
    ui->templateEdit->setText(options.nameFormat);
    ui->checkOnlyNewOrChanged->setChecked(options.update);
}

void MainWindow::saveSettings()
{
    StoredSettings stored;
    fileTypesPage.checkedTypes(stored.fileTypes, false);
    stored.options = jobOptions();
    stored.write(appSettings);
    appSettings.sync();
}

void MainWindow::preselectPaths(const QStringList& paths)
{
    filesFoldersPage.preselectPaths(paths);
}

void MainWindow::insertTemplateToken(const QString& word)
{
    ui->templateEdit->insert(QLatin1Char('[') + word + QLatin1Char(']'));
}

void MainWindow::on_btnTemplateName_clicked()
{
    insertTemplateToken(Names::Token::Name);
}
void MainWindow::on_btnTemplatePage_clicked()
{
    insertTemplateToken(Names::Token::Page);
}
void MainWindow::on_btnTemplateCurrentDate_clicked()
{
    insertTemplateToken(Names::Token::Date);
}
void MainWindow::on_btnTemplateCurrentTime_clicked()
{
    insertTemplateToken(Names::Token::Time);
}
void MainWindow::on_btnTemplateCreatedDate_clicked()
{
    insertTemplateToken(Names::Token::CreatedDate);
}
void MainWindow::on_btnTemplateCreatedTime_clicked()
{
    insertTemplateToken(Names::Token::CreatedTime);
}
void MainWindow::on_btnTemplateModifiedDate_clicked()
{
    insertTemplateToken(Names::Token::ModifiedDate);
}
void MainWindow::on_btnTemplateModifiedTime_clicked()
{
    insertTemplateToken(Names::Token::ModifiedTime);
}
void MainWindow::on_btnTemplateFolderName_clicked()
{
    insertTemplateToken(Names::Token::Folder);
}
void MainWindow::on_btnTemplateFileSize_clicked()
{
    insertTemplateToken(Names::Token::FileSize);
}

void MainWindow::on_btnTemplateResetDefault_clicked()
{
    ui->templateEdit->clear();
    ui->templateEdit->insert(DefaultTemplate);
}

void MainWindow::on_btnOutputFolderImg_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Open Directory"), QString(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    ui->lineOutputFolderImg->setText(QDir::toNativeSeparators(folder));
}

// A template that reads the clock never names a thumbnail the same way twice.
void MainWindow::on_templateEdit_textChanged(const QString& text)
{
    const bool clock = NameTemplate::readsClock(text);
    ui->checkOnlyNewOrChanged->setEnabled(!clock);
    ui->checkOnlyNewOrChanged->setToolTip(clock ? NameTemplate::clockExcludesUpdate()
                                                : ui->checkOnlyNewOrChanged->statusTip());
}

void MainWindow::on_checkUserFileFolderImg_stateChanged(int state)
{
    const bool enable = state == Qt::Unchecked;
    ui->lineOutputFolderImg->setEnabled(enable);
    ui->btnOutputFolderImg->setEnabled(enable);
}

ThumbSettings::tOutFormat MainWindow::outputFormat() const
{
    if (ui->radioOutputBmp->isChecked())
        return ThumbSettings::OutBmp;
    return ui->radioOutputJpeg->isChecked() ? ThumbSettings::OutJpeg : ThumbSettings::OutPng;
}

JobOptions MainWindow::jobOptions() const
{
    JobOptions options;
    options.recursive = ui->chkRecursive->isChecked();
    for (const FamilyOptions& f : familyOptions()) {
        JobOptions::Group& group = options.groups[f.family];
        group.width = f.width->value();
        group.height = f.height->value();
        group.keepAspectRatio = f.keepAspectRatio->isChecked();
        if (f.pageFrom) {
            group.pageStart = f.pageFrom->value();
            group.pageEnd = f.pageTo->value();
        }
    }
    options.outputFolder = ui->lineOutputFolderImg->text();
    options.useFileFolder = ui->checkUserFileFolderImg->isChecked();
    options.outputFormat = outputFormat();
    options.nameFormat = ui->templateEdit->text();
    options.update = ui->checkOnlyNewOrChanged->isChecked();
    return options;
}

ThumbJob MainWindow::buildJob() const
{
    JobOptions options = jobOptions();
    fileTypesPage.checkedTypes(options.extensions, true);
    options.paths = filesFoldersPage.selectedPaths();
    return JobBuilder::build(options);
}

void MainWindow::setRunning(bool running)
{
    ui->btnGenerate->setEnabled(!running);
    ui->btnStop->setEnabled(running);
    ui->btnBackground->setEnabled(running);
}

bool MainWindow::makeOutputFolder()
{
    if (ui->checkUserFileFolderImg->isChecked())
        return true;
    const QString folder = ui->lineOutputFolderImg->text();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(folder.toStdU16String()), error);
    if (!error)
        return true;
    warn(tr("The output folder \"%1\" could not be created: %2.")
             .arg(folder, QString::fromLocal8Bit(error.message().c_str())));
    return false;
}

void MainWindow::on_btnGenerate_clicked()
{
    if (!makeOutputFolder())
        return;
    numFiles = processedFiles = lastPercent = upToDate = passedOver = 0;
    ui->progressBar->setValue(0);
    ui->lblCurrentFile->clear();
    ui->lblOutcome->clear();
    engine.startJob(buildJob());
    // Any item the context menu remembered goes with the list.
    contextItem = nullptr;
    ui->treeThumbnails->clear();
    setRunning(true);
}

void MainWindow::on_btnStop_clicked()
{
    engine.stop();
    // Generate stays disabled until the engine reports the end of the stopped job.
    ui->btnStop->setEnabled(false);
    ui->btnBackground->setEnabled(false);
    ui->progressBar->setValue(0);
}

void MainWindow::onStatus(ThumbEngine::SigStatus status, QVariant data)
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
        statusBar()->showMessage(tr("Making thumbnails..."));
        ui->lblCurrentFile->setText(data.toString());
        break;
    }
    case ThumbEngine::KFileFound:
        statusBar()->showMessage(data.toString());
        break;
    }
}

void MainWindow::onGenerated(ThumbEngine::ThumbnailFiles files)
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
void MainWindow::onFileDone(const FileReport& report)
{
    if (report.skipped == FileReport::OwnThumbnail) {
        ++passedOver;
        return;
    }
    const bool current = report.skipped == FileReport::UpToDate;
    if (!current && !report.pages.isEmpty())
        return;
    auto* source = new QTreeWidgetItem(QStringList {report.source});
    if (current) {
        ++upToDate;
        source->setIcon(0, style()->standardIcon(QStyle::SP_DialogApplyButton));
        source->setToolTip(0, tr("Up to date: its thumbnails were made from it as it is now."));
    } else {
        source->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        source->setToolTip(0, tr("No thumbnails: %1.").arg(FileReport::describe(report.failure)));
    }
    ui->treeThumbnails->addTopLevelItem(source);
}

// Beside the status bar's last message: how the job ended and what it gave.
void MainWindow::showOutcome(ThumbEngine::ThumbStatus status)
{
    int thumbnails = 0, without = 0;
    for (int i = 0; i < ui->treeThumbnails->topLevelItemCount(); ++i) {
        const int made = ui->treeThumbnails->topLevelItem(i)->childCount();
        thumbnails += made;
        without += made == 0 ? 1 : 0;
    }
    QString outcome = status == ThumbEngine::KStopped
        ? tr("Stopped. Thumbnails made: %1. Files that gave none: %2.")
        : tr("Finished. Thumbnails made: %1. Files that gave none: %2.");
    outcome = outcome.arg(thumbnails).arg(without - upToDate);
    if (upToDate > 0)
        outcome += QLatin1Char(' ') + tr("Up to date: %1.").arg(upToDate);
    if (passedOver > 0)
        outcome += QLatin1Char(' ') + tr("Passed over: %1.").arg(passedOver);
    ui->lblOutcome->setText(outcome);
}

void MainWindow::onJobDone(ThumbEngine::ThumbStatus status)
{
    if (status == ThumbEngine::KFinished)
        ui->progressBar->setValue(100);
    else if (status == ThumbEngine::KStopped)
        ui->progressBar->setValue(0);
    setRunning(false);
    ui->lblCurrentFile->clear();
    showOutcome(status);
    if (trayIcon.isVisible()) {
        trayIcon.showMessage(Names::Product,
                             tr("Thumbnails were generated successfully. Click on icon to open "
                                "Miravel window"),
                             QSystemTrayIcon::Information, 10000);
        trayIcon.setToolTip(Names::Product + tr(": Done"));
    }
}

void MainWindow::on_btnBackground_clicked()
{
    if (!trayAvailable()) {
        // Without a tray a hidden window could never come back.
        showMinimized();
        return;
    }
    QTimer::singleShot(0, this, &QWidget::hide);
    trayIcon.show();
    trayWatch.start();
    trayIcon.showMessage(Names::Product,
                         tr("We will notify you when thumbnails were be generated."),
                         QSystemTrayIcon::Information, 3000);
    trayIcon.setToolTip(Names::Product + tr(": Making thumbnails..."));
}

bool MainWindow::trayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// The tray host went away while the window hid in it: back where the user can reach it.
void MainWindow::leaveTray()
{
    trayWatch.stop();
    trayIcon.hide();
    showMinimized();
}

void MainWindow::on_sysTrayActivated(QSystemTrayIcon::ActivationReason)
{
    trayWatch.stop();
    trayIcon.hide();
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::on_treeThumbnails_customContextMenuRequested(const QPoint& pos)
{
    if (ui->treeThumbnails->topLevelItemCount() == 0)
        return;
    contextItem = ui->treeThumbnails->itemAt(pos);
    if (!contextItem)
        return;
    contextMenu.exec(QCursor::pos());
}

void MainWindow::on_actionGo_to_File_triggered()
{
    if (contextItem)
        showInFileManager(QDir::toNativeSeparators(contextItem->text(0)));
}

void MainWindow::on_actionCopy_File_Path_triggered()
{
    if (contextItem)
        QApplication::clipboard()->setText(contextItem->text(0));
}

void MainWindow::on_actionCopy_All_File_Names_triggered()
{
    QString names;
    for (int i = 0; i < ui->treeThumbnails->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* source = ui->treeThumbnails->topLevelItem(i);
        for (int c = 0; c < source->childCount(); ++c)
            names += source->child(c)->text(0) + QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(names);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveSettings();
    engine.stop();
    // Waits for the file in hand, so no thumbnail is left half written.
    engine.quit();
    trayWatch.stop();
    trayIcon.hide();
    QMainWindow::closeEvent(event);
}

QUrl MainWindow::helpPageUrl(int index)
{
    QString root = QString::fromUtf8(MIRAVEL_HELP_ROOT);
    if (root.isEmpty())
        root =
            QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/help/"))
                .toString();
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return QUrl(root + HelpPages.value(index, HelpPages.first()));
}

void MainWindow::openHelpPage(int index)
{
    openUrlOrWarn(this, helpPageUrl(index));
}

void MainWindow::on_actionContents_triggered()
{
    openHelpPage(0);
}

void MainWindow::on_buttonWizzardHelp_clicked()
{
    const int current = ui->toolBox->currentIndex();
    const QStackedWidget* pages = ui->stackedWidget;
    int index = 0;
    if (current == pages->indexOf(ui->pageFilesFolders))
        index = 2;
    else if (current == pages->indexOf(ui->pageFileTypes))
        index = 1;
    else if (current == pages->indexOf(ui->pageGenerate))
        index = 5;
    else if (current == pages->indexOf(ui->pageOutputName))
        index = 4;
    else if (current == pages->indexOf(ui->pageThumbOptions))
        index = 3;
    openHelpPage(index);
}

void MainWindow::on_actionAbout_triggered()
{
    AboutDialog about;
    about.exec();
}
