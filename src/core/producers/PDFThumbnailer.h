#pragma once

#include "producers/Thumbnailer.h"

// PDF files: the chosen page range, rendered by pdftopng.
class PDFThumbnailer : public Thumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(PDFThumbnailer)

public:
    PDFThumbnailer();

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    tThumbnailPages generate(QFile& file) override;

private:
    QSet<QString> extensions;
};
