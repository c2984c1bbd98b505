#include "ImageThumbnailer.h"

#include <QDebug>

ImageThumbnailer::ImageThumbnailer()
    : extensions({QStringLiteral("bmp"), QStringLiteral("dib"), QStringLiteral("jpg"),
                  QStringLiteral("jpeg"), QStringLiteral("jpe"), QStringLiteral("jif"),
                  QStringLiteral("jfif"), QStringLiteral("jfi"), QStringLiteral("png"),
                  QStringLiteral("ppm"), QStringLiteral("pgm"), QStringLiteral("pbm"),
                  QStringLiteral("pnm"), QStringLiteral("xbm"), QStringLiteral("xpm"),
                  QStringLiteral("tiff"), QStringLiteral("tif"), QStringLiteral("gif")})
{
}

Thumbnailer::tThumbnailPages ImageThumbnailer::generate(QFile& file)
{
    tThumbnailPages pages;
    const QString target = thumbnailPath(file, 1);
    if (saveThumbnail(file.fileName(), target, settings.outputFormat))
        pages.insert(1, target);
    else
        qDebug() << " [ERROR] " << "ImageThumbnailer::generate" << " file: " << file.fileName();
    return pages;
}
