#include "output/OutputFormat.h"

namespace {

const OutputFormat Formats[] = {
    {ThumbSettings::OutBmp, QStringLiteral("bmp"), "BMP", false, true, QStringLiteral("image/png")},
    {ThumbSettings::OutJpeg, QStringLiteral("jpg"), "JPG", false, false,
     QStringLiteral("image/jpeg")},
    {ThumbSettings::OutPng, QStringLiteral("png"), "PNG", true, true, QStringLiteral("image/png")},
};

} // namespace

const OutputFormat& OutputFormat::of(ThumbSettings::tOutFormat format)
{
    for (const OutputFormat& entry : Formats) {
        if (entry.format == format)
            return entry;
    }
    return of(ThumbSettings::OutPng);
}

const OutputFormat* OutputFormat::named(const QString& name)
{
    const QString wanted =
        name.toLower() == QLatin1String("jpeg") ? QStringLiteral("jpg") : name.toLower();
    for (const OutputFormat& entry : Formats) {
        if (entry.extension == wanted)
            return &entry;
    }
    return nullptr;
}
