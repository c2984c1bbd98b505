#include "PageThumbOptions.h"
#include "ui_MainWindow.h"

#include "CompactSpinBoxStyle.h"
#include "job/FileFamilies.h"

PageThumbOptions::PageThumbOptions(QObject* parent)
    : QObject(parent)
{
}

void PageThumbOptions::setup(Ui::MainWindow* form)
{
    ui = form;
    families = {
        {Word, QStringLiteral("Microsoft Word"), ui->groupWordOptions, ui->wordSpinThumbWidth,
         ui->wordSpinThumbHeight, ui->wordSpinPageFrom, ui->wordSpinPageTo,
         ui->wordCheckKeepAspectRatio},
        {Excel, QStringLiteral("Microsoft Excel"), ui->groupExcelOptions, ui->excelSpinThumbWidth,
         ui->excelSpinThumbHeight, ui->excelSpinPageFrom, ui->excelSpinPageTo,
         ui->excelCheckKeepAspectRatio},
        {PowerPoint, QStringLiteral("Microsoft PowerPoint"), ui->groupPowerPointOptions,
         ui->ppointSpinThumbWidth, ui->ppointSpinThumbHeight, ui->ppointSpinPageFrom,
         ui->ppointSpinPageTo, ui->pptCheckKeepAspectRatio},
        {Pdf, QStringLiteral("Portable Document Format (PDF)"), ui->groupBox_6,
         ui->pdfSpinThumbWidth, ui->pdfSpinThumbHeight, ui->pdfSpinPageFrom, ui->pdfSpinPageTo,
         ui->pdfCheckKeepAspectRatio},
        {Picture, QStringLiteral("Pictures"), ui->groupBox_5, ui->picSpinThumbWidth,
         ui->picSpinThumbHeight, nullptr, nullptr, ui->picCheckKeepAspectRatio},
    };
    // The fixed 42-pixel boxes must show every value up to 1000. The style lives as long as
    // the page that holds them.
    auto* compact = new CompactSpinBoxStyle(ui->pageThumbOptions);
    for (const FamilyOptions& f : qAsConst(families)) {
        for (QSpinBox* spin : {f.width, f.height, f.pageFrom, f.pageTo}) {
            if (spin)
                compact->apply(spin);
        }
    }
}

void PageThumbOptions::load(const JobOptions& options)
{
    for (const FamilyOptions& f : qAsConst(families)) {
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
}

void PageThumbOptions::store(JobOptions& options) const
{
    for (const FamilyOptions& f : families) {
        JobOptions::Group& group = options.groups[f.family];
        group.width = f.width->value();
        group.height = f.height->value();
        group.keepAspectRatio = f.keepAspectRatio->isChecked();
        if (f.pageFrom) {
            group.pageStart = f.pageFrom->value();
            group.pageEnd = f.pageTo->value();
        }
    }
    options.outputFormat = outputFormat();
}

ThumbSettings::tOutFormat PageThumbOptions::outputFormat() const
{
    if (ui->radioOutputBmp->isChecked())
        return ThumbSettings::OutBmp;
    return ui->radioOutputJpeg->isChecked() ? ThumbSettings::OutJpeg : ThumbSettings::OutPng;
}

void PageThumbOptions::disableFamily(qint32 family)
{
    for (const FamilyOptions& f : qAsConst(families)) {
        if (f.family == family)
            f.group->setEnabled(false);
    }
}

QString PageThumbOptions::backwardsRange(const QStringList& extensions) const
{
    for (const FamilyOptions& f : families) {
        if (!f.pageFrom || f.pageFrom->value() <= f.pageTo->value())
            continue;
        for (const QString& extension : extensions) {
            if (FileFamilies::suffixSet(f.family).contains(extension.toLower()))
                return tr("The page range of %1 runs backwards: From %2 is after To %3. Please "
                          "set From to a page before or equal to To.")
                    .arg(f.name)
                    .arg(f.pageFrom->value())
                    .arg(f.pageTo->value());
        }
    }
    return QString();
}
