#include "PageOutputName.h"
#include "ui_MainWindow.h"

#include "options/JobOptions.h"
#include "options/NamePreview.h"
#include "output/NameTemplate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>

#include <filesystem>
#include <system_error>

PageOutputName::PageOutputName(QObject* parent)
    : QObject(parent)
{
}

void PageOutputName::setup(Ui::MainWindow* form, JobSource jobSource)
{
    ui = form;
    job = std::move(jobSource);
    connect(ui->templateEdit, &QLineEdit::textChanged, this, &PageOutputName::showFirstName);
    connect(ui->lineOutputFolderImg, &QLineEdit::textChanged, this, &PageOutputName::showFirstName);
    connect(ui->checkUserFileFolderImg, &QCheckBox::toggled, this, &PageOutputName::showFirstName);
    // A click that took the focus would make the template field drop the selection that a
    // token is meant to replace.
    for (QPushButton* token :
         {ui->btnTemplateName, ui->btnTemplatePage, ui->btnTemplateCurrentDate,
          ui->btnTemplateCurrentTime, ui->btnTemplateCreatedDate, ui->btnTemplateCreatedTime,
          ui->btnTemplateModifiedDate, ui->btnTemplateModifiedTime, ui->btnTemplateFolderName,
          ui->btnTemplateFileSize})
        token->setFocusPolicy(Qt::TabFocus);
    connect(ui->templateEdit, &QLineEdit::textChanged, this, &PageOutputName::templateChanged);
}

void PageOutputName::load(const JobOptions& options)
{
    ui->lineOutputFolderImg->setText(options.outputFolder);
    ui->checkUserFileFolderImg->setChecked(options.useFileFolder);
    ui->templateEdit->setText(options.nameFormat);
    ui->checkOnlyNewOrChanged->setChecked(options.update);
}

void PageOutputName::store(JobOptions& options) const
{
    options.outputFolder = ui->lineOutputFolderImg->text();
    options.useFileFolder = ui->checkUserFileFolderImg->isChecked();
    options.nameFormat = ui->templateEdit->text();
    options.update = ui->checkOnlyNewOrChanged->isChecked();
}

QStringList PageOutputName::problems() const
{
    QStringList texts;
    if (!ui->checkUserFileFolderImg->isChecked() && ui->lineOutputFolderImg->text().isEmpty())
        texts << tr("Please specifiy thumbnails output folder.");
    if (ui->templateEdit->text().isEmpty())
        texts << tr("Please specifiy thumbnails output name format.");
    return texts;
}

QString PageOutputName::prepareOutputFolder() const
{
    if (ui->checkUserFileFolderImg->isChecked())
        return QString();
    const QString folder = ui->lineOutputFolderImg->text();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(folder.toStdU16String()), error);
    if (error)
        return tr("The output folder \"%1\" could not be created: %2.")
            .arg(folder, QString::fromLocal8Bit(error.message().c_str()));
    QFile probe(QDir(folder).filePath(
        QStringLiteral(".miravel-probe-%1").arg(QCoreApplication::applicationPid())));
    if (!probe.open(QIODevice::WriteOnly))
        return tr("Miravel cannot write into the output folder \"%1\": %2.")
            .arg(folder, probe.errorString());
    probe.remove();
    return QString();
}

void PageOutputName::pageShown()
{
    firstSource = NamePreview::firstSource(job());
    showFirstName();
}

void PageOutputName::showFirstName()
{
    const NamePreview preview = NamePreview::of(job(), firstSource);
    const QString path = QDir::toNativeSeparators(preview.path);
    switch (preview.problem) {
    case NamePreview::None:
        ui->lblFirstName->setText(tr("Your first file: %1").arg(path));
        break;
    case NamePreview::NoSource:
        ui->lblFirstName->setText(tr("Your first file: no source file is selected yet."));
        break;
    case NamePreview::EmptyName:
        ui->lblFirstName->setText(tr("Your first file: %1 (the name is empty)").arg(path));
        break;
    case NamePreview::FolderInName:
        ui->lblFirstName->setText(
            tr("Your first file: %1 (the name holds a folder separator)").arg(path));
        break;
    }
}

QString PageOutputName::nameProblem() const
{
    const NamePreview preview = NamePreview::of(job(), firstSource);
    if (preview.problem == NamePreview::EmptyName)
        return tr("The name format \"%1\" gives an empty name for %2.")
            .arg(ui->templateEdit->text(), firstSource);
    if (preview.problem == NamePreview::FolderInName)
        return tr("The name format \"%1\" gives \"%2\" for %3: a name cannot hold a folder "
                  "separator.")
            .arg(ui->templateEdit->text(), preview.name, firstSource);
    return QString();
}

void PageOutputName::insertTemplateToken(const QString& word)
{
    ui->templateEdit->insert(QLatin1Char('[') + word + QLatin1Char(']'));
}

void PageOutputName::resetTemplate()
{
    ui->templateEdit->clear();
    ui->templateEdit->insert(JobOptions::DefaultNameFormat);
}

void PageOutputName::chooseOutputFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(
        ui->pageOutputName->window(), tr("Open Directory"), QString(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    ui->lineOutputFolderImg->setText(QDir::toNativeSeparators(folder));
}

void PageOutputName::useFileFolderChanged(int state)
{
    const bool enable = state == Qt::Unchecked;
    ui->lineOutputFolderImg->setEnabled(enable);
    ui->btnOutputFolderImg->setEnabled(enable);
}

void PageOutputName::templateChanged(const QString& text)
{
    const bool clock = NameTemplate::readsClock(text);
    ui->checkOnlyNewOrChanged->setEnabled(!clock);
    ui->checkOnlyNewOrChanged->setToolTip(clock ? NameTemplate::clockExcludesUpdate()
                                                : ui->checkOnlyNewOrChanged->statusTip());
}
