#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AboutDialog.h"
#include "BuildSettings.h"
#include "OpenFailures.h"
#include "job/Names.h"
#include "options/JobBuilder.h"
#include "options/StoredSettings.h"
#include "output/WorkArea.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace {

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
    thumbOptionsPage.setup(ui);
    outputNamePage.setup(ui, [this] { return buildJob(); });
    generatePage.setup(ui, this, &trayIcon, [this] { return trayAvailable(); });

    connect(&engine, &ThumbEngine::sigDone, this, &MainWindow::onJobDone);
    connect(&engine, &ThumbEngine::sigStatus, this, &MainWindow::onStatus);
    connect(&engine, &ThumbEngine::sigGenerated, this, &MainWindow::onGenerated);
    connect(&engine, &ThumbEngine::sigFileDone, &generatePage, &PageGenerate::onFileDone);
    connect(&trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::on_sysTrayActivated);
    warnWhenOpenFails(opener, this);

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
        thumbOptionsPage.disableFamily(Word);
        fileTypesPage.disableFileType(QStringLiteral("Microsoft Word"));
        missing += QStringLiteral("Microsoft Word");
    }
    if (!excel) {
        thumbOptionsPage.disableFamily(Excel);
        fileTypesPage.disableFileType(QStringLiteral("Microsoft Excel"));
        missing += QStringLiteral("\nMicrosoft Excel");
    }
    if (!powerPoint) {
        thumbOptionsPage.disableFamily(PowerPoint);
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
    if (ui->stackedWidget->currentWidget() == ui->pageOutputName)
        outputNamePage.pageShown();
    // A chosen office document starts the office while the user looks at this page; one
    // found in a chosen folder starts it once the job finds it.
    if (ui->stackedWidget->currentWidget() == ui->pageGenerate && ui->btnGenerate->isEnabled()) {
        QStringList extensions;
        fileTypesPage.checkedTypes(extensions, true);
        QStringList chosen;
        for (const QString& path : filesFoldersPage.selectedPaths()) {
            const QFileInfo file(path);
            if (file.isFile() && file.size() > 0
                && extensions.contains(file.suffix(), Qt::CaseInsensitive))
                chosen << file.suffix();
        }
        if (!chosen.isEmpty())
            engine.prepare(chosen);
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
    const QStringList problems = outputNamePage.problems();
    for (const QString& problem : problems)
        warn(problem);
    return problems.isEmpty();
}

void MainWindow::loadSettings()
{
    StoredSettings stored;
    stored.read(appSettings);
    fileTypesPage.setupTree(ui->treeFileTypes, stored.fileTypes);
    ui->chkRecursive->setChecked(stored.options.recursive);
    thumbOptionsPage.load(stored.options);
    outputNamePage.load(stored.options);
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

void MainWindow::on_btnTemplateName_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::Name);
}
void MainWindow::on_btnTemplatePage_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::Page);
}
void MainWindow::on_btnTemplateCurrentDate_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::Date);
}
void MainWindow::on_btnTemplateCurrentTime_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::Time);
}
void MainWindow::on_btnTemplateCreatedDate_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::CreatedDate);
}
void MainWindow::on_btnTemplateCreatedTime_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::CreatedTime);
}
void MainWindow::on_btnTemplateModifiedDate_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::ModifiedDate);
}
void MainWindow::on_btnTemplateModifiedTime_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::ModifiedTime);
}
void MainWindow::on_btnTemplateFolderName_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::Folder);
}
void MainWindow::on_btnTemplateFileSize_clicked()
{
    outputNamePage.insertTemplateToken(Names::Token::FileSize);
}

void MainWindow::on_btnTemplateResetDefault_clicked()
{
    outputNamePage.resetTemplate();
}

void MainWindow::on_btnOutputFolderImg_clicked()
{
    outputNamePage.chooseOutputFolder();
}

void MainWindow::on_checkUserFileFolderImg_stateChanged(int state)
{
    outputNamePage.useFileFolderChanged(state);
}

JobOptions MainWindow::jobOptions() const
{
    JobOptions options;
    options.recursive = ui->chkRecursive->isChecked();
    thumbOptionsPage.store(options);
    outputNamePage.store(options);
    return options;
}

ThumbJob MainWindow::buildJob() const
{
    JobOptions options = jobOptions();
    fileTypesPage.checkedTypes(options.extensions, true);
    options.paths = filesFoldersPage.selectedPaths();
    return JobBuilder::build(options);
}

void MainWindow::on_btnGenerate_clicked()
{
    QStringList extensions;
    fileTypesPage.checkedTypes(extensions, true);
    QString problem = outputNamePage.prepareOutputFolder();
    if (problem.isEmpty())
        problem = thumbOptionsPage.backwardsRange(extensions);
    if (problem.isEmpty())
        problem = outputNamePage.nameProblem();
    if (!problem.isEmpty()) {
        warn(problem);
        return;
    }
    if (const QString unusable = WorkArea::check(); !unusable.isEmpty()) {
        warn(tr("The working folder \"%1\" cannot be used: %2.")
                 .arg(WorkArea::workingFolder(), unusable));
        return;
    }
    generatePage.jobStarted();
    engine.startJob(buildJob());
}

void MainWindow::on_btnStop_clicked()
{
    engine.stop();
    generatePage.stopRequested();
}

void MainWindow::onStatus(ThumbEngine::SigStatus status, QVariant data)
{
    generatePage.onStatus(status, data);
}

void MainWindow::onGenerated(ThumbEngine::ThumbnailFiles files)
{
    generatePage.onGenerated(files);
}

void MainWindow::onJobDone(ThumbEngine::ThumbStatus status)
{
    generatePage.onJobDone(status);
}

void MainWindow::on_btnBackground_clicked()
{
    generatePage.toBackground();
}

bool MainWindow::trayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void MainWindow::on_sysTrayActivated(QSystemTrayIcon::ActivationReason)
{
    generatePage.fromTray();
}

void MainWindow::on_treeThumbnails_customContextMenuRequested(const QPoint& pos)
{
    generatePage.showContextMenu(pos);
}

void MainWindow::on_actionGo_to_File_triggered()
{
    generatePage.goToFile();
}

void MainWindow::on_actionCopy_File_Path_triggered()
{
    generatePage.copyFilePath();
}

void MainWindow::on_actionCopy_All_File_Names_triggered()
{
    generatePage.copyAllFileNames();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveSettings();
    engine.stop();
    // Waits for the file in hand, so no thumbnail is left half written.
    engine.quit();
    generatePage.removeTray();
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
    opener.open(helpPageUrl(index));
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
