#include "producers/PowerPointThumbnailer.h"

#include "OfficeApplication.h"
#include "job/FileFamilies.h"
#include "output/OutputFormat.h"
#include "output/ThumbnailStamp.h"
#include "producers/StageTimer.h"

#include <QDebug>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cstdio>

namespace {

// Whether an exported image was written to its end: the office may answer success for a
// file that a full disk cut short. Both formats end with a fixed trailer.
bool isWhole(const QString& path, bool jpeg)
{
    static const QByteArray pngEnd = QByteArray::fromHex("0000000049454e44ae426082");
    static const QByteArray jpegEnd = QByteArray::fromHex("ffd9");
    const QByteArray& end = jpeg ? jpegEnd : pngEnd;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.size() > end.size()
        && file.seek(file.size() - end.size()) && file.read(end.size()) == end;
}

// The office writes PNG and JPEG at the asked size; BMP it would not size, so a BMP slide
// is written as PNG first and re-encoded. The office writes to a temporary name beside the
// thumbnail, renamed on success, so that a failed export (a full disk) leaves no empty or
// cut file behind.
bool writeSlide(OfficeDocument& presentation, int slide, const QString& path,
                const OutputFormat& format, int width, int height, const QString& exported,
                const ThumbnailStamp& stamp)
{
    if (!presentation.exportSlide(slide, exported, format.slideMediaType, width, height).ok())
        return false;
    const bool jpeg = format.slideMediaType == QLatin1String("image/jpeg");
    QImageReader reader(exported, jpeg ? "jpeg" : "png");
    if (reader.size() != QSize(width, height) || !isWhole(exported, jpeg))
        return false;
    // The keys go in beside the office's picture data, which stays as it was written.
    if (format.format != ThumbSettings::OutBmp)
        return stamp.addToFile(exported)
            && std::rename(QFile::encodeName(exported).constData(),
                           QFile::encodeName(path).constData())
            == 0;
    const QImage image = reader.read();
    QSaveFile bmp(path);
    return !image.isNull() && bmp.open(QIODevice::WriteOnly) && image.save(&bmp, format.writerName)
        && bmp.commit();
}

bool exportSlide(OfficeDocument& presentation, int slide, const QString& path,
                 const OutputFormat& format, int width, int height, const ThumbnailStamp& stamp)
{
    // A free name, left for the office to create with the usual permissions.
    QString exported;
    {
        QTemporaryFile reserved(path + QStringLiteral(".XXXXXX"));
        if (!reserved.open())
            return false;
        exported = reserved.fileName();
    }
    const bool written =
        writeSlide(presentation, slide, path, format, width, height, exported, stamp);
    QFile::remove(exported);
    return written;
}

} // namespace

PowerPointThumbnailer::PowerPointThumbnailer(std::shared_ptr<SharedOffice> office)
    : OfficeThumbnailer(FileFamilies::suffixSet(PowerPoint), std::move(office),
                        {[this] { return getPowerPointInstance(); },
                         "PowerPointThumbnailer::getPowerPointInstance",
                         "  Can't create PowerPoint instance", "PowerPointThumbnailer::generate",
                         OfficeDocument::Kind::Presentation, "  ppPresentations->Open",
                         [this](OfficeDocument& presentation, QFile& file, const QString&) {
                             return exportSlides(presentation, file);
                         }})
{
}

std::unique_ptr<OfficeApplication> PowerPointThumbnailer::getPowerPointInstance()
{
    return startApplication();
}

QSize PowerPointThumbnailer::slideImageSize(OfficeDocument& presentation, int slide) const
{
    const QSize box(settings.width, settings.height);
    if (!settings.keepAspectRatio)
        return box;
    // Covers the box, as every other family's thumbnail does.
    const OfficeResult<QSize> size = presentation.slideSize(slide);
    if (!size.ok())
        return QSize();
    // Rounded, not cut: a slide measured 10.001 x 20 cm stays 120 x 240 at 120 x 90.
    const QSizeF covering = QSizeF(size.value).scaled(box, Qt::KeepAspectRatioByExpanding);
    return QSize(qRound(covering.width()), qRound(covering.height()));
}

Thumbnailer::tThumbnailPages PowerPointThumbnailer::exportSlides(OfficeDocument& presentation,
                                                                 QFile& file)
{
    const StageTimer stage("export", file.fileName());
    tThumbnailPages pages;
    const OutputFormat& format = OutputFormat::of(settings.outputFormat);
    const ThumbnailStamp source = ThumbnailStamp::of(file.fileName());
    if (presentation.slideCount().value <= 0 || settings.pageStart > settings.pageEnd)
        return pages;
    for (qint32 i = settings.pageStart; i <= settings.pageEnd; ++i) {
        if (i > presentation.slideCount().value)
            break;
        const QString imagePath = QDir::toNativeSeparators(thumbnailPath(file, i));
        if (i < 1) {
            qDebug() << " [ERROR]"
                     << "PowerPointThumbnailer::generate"
                     << "  ppSlides->Item(" << i << ")";
            continue;
        }
        const QSize size = slideImageSize(presentation, i);
        if (!size.isEmpty()
            && exportSlide(presentation, i, imagePath, format, size.width(), size.height(),
                           source.shaped(settings, i)))
            pages.insert(i, imagePath);
        else
            qDebug() << " [ERROR]"
                     << "PowerPointThumbnailer::generate"
                     << "ppSlide->Export to" << imagePath;
    }
    return pages;
}
