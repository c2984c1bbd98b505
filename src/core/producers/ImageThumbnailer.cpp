#include "producers/ImageThumbnailer.h"

#include "job/FileFamilies.h"

#include <QDebug>

ImageThumbnailer::ImageThumbnailer()
    : extensions(FileFamilies::suffixSet(Picture))
{
}

Thumbnailer::tThumbnailPages ImageThumbnailer::generate(QFile& file)
{
    tThumbnailPages pages;
    const QString target = thumbnailPath(file, 1);
    if (saveThumbnail(file.fileName(), target, settings.outputFormat))
        pages.insert(1, target);
    else
        qDebug() << " [ERROR] "
                 << "ImageThumbnailer::generate"
                 << " file: " << file.fileName();
    return pages;
}
