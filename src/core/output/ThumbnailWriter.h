#pragma once

#include "job/ThumbSettings.h"
#include "output/ThumbnailStamp.h"

#include <QImage>
#include <QSize>
#include <QString>

// Turns a picture file into a thumbnail file: decodes it within a memory budget (at a
// reduced size where the decoder can), scales it to the box and writes it so that a failed
// write never leaves a cut file behind.
class ThumbnailWriter
{
public:
    ThumbnailWriter(const QSize& box, bool keepAspectRatio);

    // The picture scaled to the box; null when it is unreadable or would not fit the budget.
    QImage load(const QString& source) const;
    // Writes the thumbnail in the format, with the stamp's keys where the format has room
    // for them; formats without alpha get it composed over white.
    bool save(const QImage& thumbnail, const QString& target, ThumbSettings::tOutFormat format,
              const ThumbnailStamp& stamp) const;

private:
    const QSize box;
    const Qt::AspectRatioMode mode;
};
