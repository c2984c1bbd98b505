#pragma once

#include "job/ThumbSettings.h"

#include <QByteArray>
#include <QString>

// What a thumbnail records of its making, as the desktop's thumbnail caches do: the source's
// file URI, modification time (seconds) and size (bytes), the program, and the settings that
// shaped it. PNG holds them as text chunks, JPEG as comments ("key: value"); BMP has no place
// for them.
struct ThumbnailStamp
{
    static const QString UriKey;
    static const QString MTimeKey;
    static const QString SizeKey;
    static const QString SoftwareKey;
    static const QString SettingsKey;

    QString uri;
    qint64 mtime = -1;
    qint64 size = -1;
    QString software;
    QString settings;

    // The source as it is now, made by this program; no settings yet.
    static ThumbnailStamp of(const QString& source);
    // The same source, shaped by `s` into the thumbnail of its page `page`.
    ThumbnailStamp shaped(const ThumbSettings& s, qint32 page) const;
    // The keys a thumbnail file holds, read from its head without decoding the picture;
    // empty when it holds none or is neither PNG nor JPEG.
    static ThumbnailStamp read(const QString& path);

    // Whether the keys say that this program made the picture.
    bool isOwn() const;
    // Whether `made`, read from a thumbnail, says it was made from this source as it is
    // now, with these settings.
    bool matches(const ThumbnailStamp& made) const;

    // An encoded PNG or JPEG with the keys added before its picture data; other data as
    // it is.
    QByteArray addTo(QByteArray encoded) const;
    // The same for a file, replaced whole; false when it could not be.
    bool addToFile(const QString& path) const;
};
