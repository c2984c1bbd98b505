#pragma once

#include "job/Shard.h"
#include "job/ThumbSettings.h"

#include <QMap>
#include <QStringList>

// File family: names a producer and keys the job's settings and the engine's producers.
enum tFileType : qint32 {
    Excel = 0,
    Picture = 1,
    Pdf = 2,
    PowerPoint = 3,
    Word = 4,
    Text = 5,
    NoType = 6
};

// One run of the engine.
struct ThumbJob
{
    QMap<qint32, ThumbSettings> settings;
    QStringList extensions;
    QStringList paths;
    bool recursive = false;
    // Sources whose thumbnails were made from them as they are now are passed over.
    bool update = false;
    // Only the sources of this share are gathered.
    Shard shard;
};
