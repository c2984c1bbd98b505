#pragma once

#include "job/FileReport.h"
#include "job/ThumbJob.h"
#include "producers/Thumbnailer.h"

#include <QFile>

// What a job passes over instead of making it: a picture that is itself a thumbnail Miravel
// made, and in update mode a source whose thumbnails were made from it as it is now.
class SkipCheck
{
public:
    // Sets report.skipped, and for an up-to-date source report.pages to the thumbnails
    // found; false when the source is to be made.
    static bool passOver(const QFile& source, qint32 family, const Thumbnailer& producer,
                         const ThumbJob& job, FileReport& report);

private:
    // The thumbnails of the pages in the range, in order, as long as each was made from the
    // source as it is now with these settings; empty unless the first page's was.
    static Thumbnailer::tThumbnailPages upToDate(const QFile& source, const Thumbnailer& producer,
                                                 const ThumbSettings& settings);
};
