#include "producers/PowerPointThumbnailer.h"

#include "OfficeApplication.h"
#include "job/FileFamilies.h"
#include "output/OutputFormat.h"
#include "output/ThumbnailStamp.h"
#include "output/WholeFile.h"
#include "producers/StageTimer.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QImage>
#include <QImageReader>
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
// cut file behind. Answers why it failed, or None.
FileReport::Failure writeSlide(OfficeDocument& presentation, int slide, const QString& path,
                               const OutputFormat& format, int width, int height,
                               const QString& exported, const ThumbnailStamp& stamp)
{
    if (!presentation.exportSlide(slide, exported, format.slideMediaType, width, height).ok())
        return FileReport::OfficeCannotConvert;
    const bool jpeg = format.slideMediaType == QLatin1String("image/jpeg");
    QImageReader reader(exported, jpeg ? "jpeg" : "png");
    bool written = reader.size() == QSize(width, height) && isWhole(exported, jpeg);
    // The keys go in beside the office's picture data, which stays as it was written.
    if (written && format.format != ThumbSettings::OutBmp) {
        written = stamp.addToFile(exported)
            && std::rename(QFile::encodeName(exported).constData(),
                           QFile::encodeName(path).constData())
                == 0;
    } else if (written) {
        const QImage image = reader.read();
        QByteArray bmp;
        QBuffer buffer(&bmp);
        written = !image.isNull() && image.save(&buffer, format.writerName)
            && WholeFile::write(path, bmp);
    }
    return written ? FileReport::None : FileReport::CannotWrite;
}

FileReport::Failure exportSlide(OfficeDocument& presentation, int slide, const QString& path,
                                const OutputFormat& format, int width, int height,
                                const ThumbnailStamp& stamp)
{
    // A free name, left for the office to create with the usual permissions.
    QString exported;
    {
        QTemporaryFile reserved(path + QStringLiteral(".XXXXXX"));
        if (!reserved.open())
            return FileReport::CannotWrite;
        exported = reserved.fileName();
    }
    const FileReport::Failure failure =
        writeSlide(presentation, slide, path, format, width, height, exported, stamp);
    QFile::remove(exported);
    return failure;
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
    // The range's slides that the presentation has; none when it fails to tell.
    const qint32 last = qMin(settings.pageEnd, presentation.slideCount().value);
    if (settings.pageStart > last) {
        fail(FileReport::NoPagesInRange);
        return pages;
    }
    for (qint32 i = settings.pageStart; i <= last; ++i) {
        const QString imagePath =
            QDir::toNativeSeparators(claimThumbnailPath(settings.outputFolderFor(file), file, i));
        if (i < 1) {
            qDebug() << " [ERROR]"
                     << "PowerPointThumbnailer::generate"
                     << "  ppSlides->Item(" << i << ")";
            continue;
        }
        const QSize size = slideImageSize(presentation, i);
        const FileReport::Failure failure = size.isEmpty()
            ? FileReport::OfficeCannotConvert
            : exportSlide(presentation, i, imagePath, format, size.width(), size.height(),
                          source.shaped(settings, i));
        if (failure == FileReport::None) {
            pages.insert(i, imagePath);
        } else {
            qDebug() << " [ERROR]"
                     << "PowerPointThumbnailer::generate"
                     << "ppSlide->Export to" << imagePath;
            fail(failure);
        }
    }
    return pages;
}
