#include "options/JobBuilder.h"

#include "engine/ThumbEngine.h"
#include "job/FileFamilies.h"
#include "output/NameTemplate.h"

namespace {

const qint32 FamilyOrder[] = {Word, Excel, PowerPoint, Text, Pdf, Picture};

} // namespace

ThumbJob JobBuilder::build(const JobOptions& options)
{
    ThumbJob job;
    job.extensions = options.extensions;
    job.paths = options.paths;
    job.recursive = options.recursive;
    // As the window greys the choice out: such names are never found again.
    job.update = options.update && !NameTemplate::readsClock(options.nameFormat);
    job.shard = options.shard;

    ThumbSettings common;
    if (options.useFileFolder)
        common.useFileFolder = true;
    else
        common.setOutputFolder(options.outputFolder);
    common.outputFormat = options.outputFormat;
    common.nameFormat = options.nameFormat;

    for (qint32 family : FamilyOrder) {
        const JobOptions::Group group = options.groups.value(family == Text ? Pdf : family);
        ThumbSettings s = common;
        s.width = group.width;
        s.height = group.height;
        s.keepAspectRatio = group.keepAspectRatio;
        const bool firstPageOnly = family == Text || family == Picture;
        s.pageStart = firstPageOnly ? 1 : group.pageStart;
        s.pageEnd = firstPageOnly ? 1 : group.pageEnd;
        job.settings.insert(family, s);
    }
    return job;
}

QStringList JobBuilder::extensions(qint32 family)
{
    return FileFamilies::suffixes(family);
}

bool JobBuilder::isAvailable(qint32 family)
{
    switch (family) {
    case Word:
        return isWordAvailable();
    case Excel:
        return isExcelAvailable();
    case PowerPoint:
        return isPowerPointAvailable();
    case Text:
    case Pdf:
    case Picture:
        return true;
    default:
        return false;
    }
}

QStringList JobBuilder::availableExtensions()
{
    QStringList all;
    for (qint32 family : FamilyOrder) {
        if (isAvailable(family))
            all += extensions(family);
    }
    return all;
}

QStringList JobBuilder::extensionsOfEntries(const QStringList& entries)
{
    QStringList result;
    for (qint32 family : FamilyOrder) {
        if (!isAvailable(family))
            continue;
        for (const QString& extension : extensions(family)) {
            // The PDF entry is named for the family; every other entry is its suffix.
            const QString entry =
                family == Pdf ? QStringLiteral("Portable Document Format (PDF)") : extension;
            if (entries.contains(entry, Qt::CaseInsensitive))
                result << extension;
        }
    }
    return result;
}
