#pragma once

#include "job/ThumbSettings.h"

#include <QString>

// How each thumbnail format is named wherever it is named: the file extension, Qt's image
// writer, the office's slide export and the command line.
struct OutputFormat
{
    ThumbSettings::tOutFormat format;
    QString extension; // without the dot; also the command line's name
    const char* writerName; // for QImageWriter
    bool keepsAlpha;
    bool lossless;
    // What the office writes a slide as: it sizes only PNG and JPEG, so a BMP slide is
    // written as PNG and re-encoded.
    QString slideMediaType;

    // The entry for a format; values outside the enumeration are PNG.
    static const OutputFormat& of(ThumbSettings::tOutFormat format);
    // The entry named by an extension ("jpeg" too), in any case; null when there is none.
    static const OutputFormat* named(const QString& name);
};
