#pragma once

#include "producers/Thumbnailer.h"

// Pictures: one page, loaded, scaled and saved directly.
class ImageThumbnailer : public Thumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(ImageThumbnailer)

public:
    ImageThumbnailer();

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    tThumbnailPages generate(QFile& file) override;

private:
    QSet<QString> extensions;
};
