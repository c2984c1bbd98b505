#include "PageOutputName.h"
#include "ui_MainWindow.h"

#include "options/JobOptions.h"

#include <QDir>
#include <QFileDialog>

#include <filesystem>
#include <system_error>

PageOutputName::PageOutputName(QObject* parent)
    : QObject(parent)
{
}

void PageOutputName::setup(Ui::MainWindow* form)
{
    ui = form;
    // A click that took the focus would make the template field drop the selection that a
    // token is meant to replace.
    for (QPushButton* token :
         {ui->btnTemplateName, ui->btnTemplatePage, ui->btnTemplateCurrentDate,
          ui->btnTemplateCurrentTime, ui->btnTemplateCreatedDate, ui->btnTemplateCreatedTime,
          ui->btnTemplateModifiedDate, ui->btnTemplateModifiedTime, ui->btnTemplateFolderName,
          ui->btnTemplateFileSize})
        token->setFocusPolicy(Qt::TabFocus);
}

void PageOutputName::load(const JobOptions& options)
{
    ui->lineOutputFolderImg->setText(options.outputFolder);
    ui->checkUserFileFolderImg->setChecked(options.useFileFolder);
    ui->templateEdit->setText(options.nameFormat);
}

void PageOutputName::store(JobOptions& options) const
{
    options.outputFolder = ui->lineOutputFolderImg->text();
    options.useFileFolder = ui->checkUserFileFolderImg->isChecked();
    options.nameFormat = ui->templateEdit->text();
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
    if (!error)
        return QString();
    return tr("The output folder \"%1\" could not be created: %2.")
        .arg(folder, QString::fromLocal8Bit(error.message().c_str()));
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
