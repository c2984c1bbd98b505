#include "options/StoredSettings.h"

#include "output/OutputFormat.h"

#include <QSettings>

namespace {

const QString DefaultFileTypes = QStringLiteral(
    "xlsx,xlsm,xls,ods,bmp,dib,jpg,jpeg,jpe,jif,jfif,jfi,png,ppm,pgm,pbm,pnm,xbm,xpm,tiff,tif,"
    "gif,pdf,ppt,pptx,txt,log,ans,asc,csv,nfo,1st,xml,bat,info,doc,docx,rtf,odt,Documents,"
    "Pictures,Microsoft Word,Microsoft Excel,Microsoft PowerPoint,Text,"
    "Portable Document Format (PDF)");

namespace Key {
const QString FileTypes = QStringLiteral("MVSFileTypes");
const QString LookRecursive = QStringLiteral("MVSLookRecursive");
const QString Width = QStringLiteral("MVSWidth");
const QString Height = QStringLiteral("MVSHeight");
const QString PageStart = QStringLiteral("MVSPStart");
const QString PageEnd = QStringLiteral("MVSPEnd");
const QString KeepAspectRatio = QStringLiteral("MVSKeepAspectRatio");
const QString OutputFormat = QStringLiteral("MVSOutputFormat");
const QString OutputFolder = QStringLiteral("MVSOutputFolder");
const QString UseFileFolder = QStringLiteral("MVSUseFileFolder");
const QString NameFormat = QStringLiteral("MVSNameFormat");
const QString OnlyNewOrChanged = QStringLiteral("MVSOnlyNewOrChanged");
} // namespace Key

struct Prefix
{
    qint32 family;
    QString prefix;
};

// In the order the window writes them.
const Prefix Prefixes[] = {
    {Word, QStringLiteral("MVSWord")},
    {Excel, QStringLiteral("MVSExcel")},
    {PowerPoint, QStringLiteral("MVSPowerPoint")},
    {Pdf, QStringLiteral("MVSPdf")},
    {Picture, QStringLiteral("MVSPicture")},
};

int readInt(const QSettings& store, const QString& key, int fallback, int min, int max)
{
    return qBound(min, store.value(key, fallback).toInt(), max);
}

} // namespace

StoredSettings::StoredSettings()
    : fileTypes(DefaultFileTypes.split(QLatin1Char(',')))
{
    options.recursive = true;
}

void StoredSettings::read(const QSettings& store)
{
    fileTypes = store.value(Key::FileTypes, DefaultFileTypes).toString().split(QLatin1Char(','));
    options.recursive = store.value(Key::LookRecursive, true).toBool();
    for (const Prefix& p : Prefixes) {
        JobOptions::Group& g = options.groups[p.family];
        g.width =
            readInt(store, p.prefix + Key::Width, 200, JobOptions::MinSize, JobOptions::MaxSize);
        g.height =
            readInt(store, p.prefix + Key::Height, 200, JobOptions::MinSize, JobOptions::MaxSize);
        if (p.family != Picture) {
            g.pageStart = readInt(store, p.prefix + Key::PageStart, 1, 1, JobOptions::MaxPage);
            g.pageEnd = readInt(store, p.prefix + Key::PageEnd, 1, 1, JobOptions::MaxPage);
        }
        g.keepAspectRatio = store.value(p.prefix + Key::KeepAspectRatio, true).toBool();
    }
    const int format = store.value(Key::OutputFormat, int(ThumbSettings::OutPng)).toInt();
    // Anything else leaves PNG.
    options.outputFormat = OutputFormat::of(ThumbSettings::tOutFormat(format)).format;
    options.outputFolder = store.value(Key::OutputFolder, QString()).toString();
    options.useFileFolder = store.value(Key::UseFileFolder, false).toBool();
    options.nameFormat = store.value(Key::NameFormat, JobOptions::DefaultNameFormat).toString();
    options.update = store.value(Key::OnlyNewOrChanged, false).toBool();
}

void StoredSettings::write(QSettings& store) const
{
    store.setValue(Key::FileTypes, fileTypes.join(QLatin1Char(',')));
    store.setValue(Key::LookRecursive, options.recursive);
    for (const Prefix& p : Prefixes) {
        const JobOptions::Group g = options.groups.value(p.family);
        store.setValue(p.prefix + Key::Width, g.width);
        store.setValue(p.prefix + Key::Height, g.height);
        if (p.family != Picture) {
            store.setValue(p.prefix + Key::PageStart, g.pageStart);
            store.setValue(p.prefix + Key::PageEnd, g.pageEnd);
        }
        store.setValue(p.prefix + Key::KeepAspectRatio, g.keepAspectRatio);
    }
    store.setValue(Key::OutputFormat, int(options.outputFormat));
    store.setValue(Key::OutputFolder, options.outputFolder);
    store.setValue(Key::UseFileFolder, options.useFileFolder);
    store.setValue(Key::NameFormat, options.nameFormat);
    store.setValue(Key::OnlyNewOrChanged, options.update);
}
