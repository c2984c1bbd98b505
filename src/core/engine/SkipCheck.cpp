#include "engine/SkipCheck.h"

#include "output/OutputFormat.h"
#include "output/ThumbnailStamp.h"

#include <QDateTime>
#include <QFileInfo>

bool SkipCheck::passOver(const QFile& source, qint32 family, const Thumbnailer& producer,
                         const ThumbJob& job, FileReport& report)
{
    if (family == Picture && ThumbnailStamp::read(source.fileName()).isOwn()) {
        report.skipped = FileReport::OwnThumbnail;
        return true;
    }
    if (!job.update)
        return false;
    report.pages = upToDate(source, producer, job.settings.value(family));
    if (report.pages.isEmpty())
        return false;
    report.skipped = FileReport::UpToDate;
    return true;
}

Thumbnailer::tThumbnailPages SkipCheck::upToDate(const QFile& source, const Thumbnailer& producer,
                                                 const ThumbSettings& settings)
{
    Thumbnailer::tThumbnailPages pages;
    const ThumbnailStamp stamp = ThumbnailStamp::of(source.fileName());
    // BMP records nothing: a thumbnail newer than its source is taken as made from it.
    const bool recorded = OutputFormat::of(settings.outputFormat).format != ThumbSettings::OutBmp;
    const QDateTime changed = QFileInfo(source).lastModified();
    for (qint32 page = settings.pageStart; page <= settings.pageEnd; ++page) {
        const QString path = producer.thumbnailPath(source, page);
        const QFileInfo made(path);
        const bool fresh = recorded
            ? stamp.shaped(settings, page).matches(ThumbnailStamp::read(path))
            : made.exists() && made.lastModified() > changed;
        if (!fresh)
            break;
        pages.insert(page, path);
    }
    return pages;
}
