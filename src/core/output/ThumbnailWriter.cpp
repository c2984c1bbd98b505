#include "output/ThumbnailWriter.h"

#include "output/OutputFormat.h"
#include "output/WholeFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QtMath>

#include <utility>

namespace {

// Pictures whose decoding would hold more than 256 million pixels of 32 bits are refused.
constexpr qint64 BytesPerPixel = 4;
constexpr qint64 MaxDecodedBytes = 256LL * 1000 * 1000 * BytesPerPixel;

// PNG is lossless, so its compression only trades bytes for time. Qt maps 0-100 onto zlib's
// levels 0-9; this is level 1, the fastest that compresses: a photo's thumbnail comes out
// a sixth larger and is encoded three times as fast as at Qt's default.
constexpr int FastPngCompression = 11;

// How libjpeg will decode a JPEG, read from the markers before its first scan.
struct JpegLayout
{
    // One sequential scan of every component is decoded a few rows at a time, reduced by up
    // to 1/8 on the way. Anything else (progressive, several scans) makes libjpeg hold every
    // DCT coefficient of the picture until the last scan, whatever output size is asked for.
    bool streamed = false;
    // Those coefficients: 64 of two bytes for each 8 x 8 block of every component; -1 when
    // the header could not be read.
    qint64 coefficientBytes = -1;
};

JpegLayout jpegLayout(const QString& path)
{
    JpegLayout layout;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(2) != QByteArray("\xff\xd8", 2))
        return layout;
    int frameMarker = 0;
    QByteArray frame;
    char c;
    while (file.getChar(&c)) {
        // As libjpeg does, skip whatever lies before the next marker, and its fill bytes.
        if (quint8(c) != 0xff)
            continue;
        do {
            if (!file.getChar(&c))
                return layout;
        } while (quint8(c) == 0xff);
        const int marker = quint8(c);
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8))
            continue; // no segment follows
        if (marker == 0xd9)
            return layout;
        const QByteArray length = file.read(2);
        if (length.size() != 2)
            return layout;
        const int size = (quint8(length.at(0)) << 8 | quint8(length.at(1))) - 2;
        if (size < 0)
            return layout;
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8
            && marker != 0xcc) {
            frameMarker = marker;
            frame = file.read(size);
        } else if (marker == 0xda) {
            break;
        } else if (file.skip(size) != size) {
            return layout;
        }
    }
    // Frame: precision, height, width, component count, then per component its id, its
    // sampling factors and its quantisation table.
    const int components = frame.size() >= 6 ? quint8(frame.at(5)) : 0;
    char scanComponents = 0;
    if (components == 0 || frame.size() < 6 + 3 * components || !file.getChar(&scanComponents))
        return layout;
    const int height = quint8(frame.at(1)) << 8 | quint8(frame.at(2));
    const int width = quint8(frame.at(3)) << 8 | quint8(frame.at(4));
    int hMax = 1, vMax = 1;
    for (int i = 0; i < components; ++i) {
        const int factors = quint8(frame.at(6 + 3 * i + 1));
        hMax = qMax(hMax, factors >> 4);
        vMax = qMax(vMax, factors & 0xf);
    }
    const qint64 columns = (width + 8 * hMax - 1) / (8 * hMax);
    const qint64 rows = (height + 8 * vMax - 1) / (8 * vMax);
    qint64 bytes = 0;
    for (int i = 0; i < components; ++i) {
        const int factors = quint8(frame.at(6 + 3 * i + 1));
        bytes += columns * (factors >> 4) * rows * (factors & 0xf) * 64 * 2;
    }
    layout.coefficientBytes = bytes;
    const bool sequential = frameMarker == 0xc0 || frameMarker == 0xc1 || frameMarker == 0xc9;
    layout.streamed = sequential && quint8(scanComponents) == components;
    return layout;
}

// The size Qt's JPEG reader decodes at when asked for `target`: libjpeg scales by n/8, with
// n the smallest that still covers the target.
QSize jpegDecodedSize(const QSize& stored, const QSize& target)
{
    const double f =
        qMin(double(stored.width()) / target.width(), double(stored.height()) / target.height());
    const int n = qBound(1, qCeil(8 / f), 8);
    return QSize((stored.width() * n + 7) / 8, (stored.height() * n + 7) / 8);
}

// Bytes the decoder will hold for `reader`'s picture of `stored` pixels. A JPEG is asked for
// `target` (stored orientation) when that is smaller, which a streamed one reaches while
// decoding.
qint64 decodingCost(QImageReader& reader, const QString& source, const QSize& stored,
                    const QSize& target)
{
    const qint64 pixels = qint64(stored.width()) * stored.height();
    if (reader.format() != "jpeg") {
        // Decoded whole; the scaler works on 32 bits a pixel, some decoders on more.
        const int bytes = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel() / 8;
        return pixels * qMax<qint64>(BytesPerPixel, bytes);
    }
    QSize decoded = stored;
    if (target.isValid() && target.width() <= stored.width()
        && target.height() <= stored.height()) {
        reader.setScaledSize(target);
        decoded = jpegDecodedSize(stored, target);
    }
    const qint64 output = qint64(decoded.width()) * decoded.height() * BytesPerPixel;
    const JpegLayout layout = jpegLayout(source);
    if (layout.streamed)
        return output;
    // An unreadable layout counts as four full-size components.
    const qint64 coefficients =
        layout.coefficientBytes >= 0 ? layout.coefficientBytes : pixels * 4 * 2;
    return qMax(pixels * BytesPerPixel, coefficients + output);
}

} // namespace

ThumbnailWriter::ThumbnailWriter(const QSize& box, bool keepAspectRatio)
    : box(box)
    , mode(keepAspectRatio ? Qt::KeepAspectRatioByExpanding : Qt::IgnoreAspectRatio)
{
}

QImage ThumbnailWriter::load(const QString& source, FileReport::Failure& failure) const
{
    QImageReader reader(source);
    // By content: a .dib file is a BMP with its file header, not a bare DIB.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);

    const QSize stored = reader.size();
    QSize final;
    // A picture that cannot tell its size before decoding cannot be costed: refused.
    qint64 cost = -1;
    if (!stored.isEmpty()) {
        // The final size comes from the upright image's full size, whatever is decoded.
        const bool turned =
            reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
        const QSize upright = turned ? stored.transposed() : stored;
        if (!box.isEmpty())
            final = upright.scaled(box, mode);
        cost = decodingCost(reader, source, stored, turned ? final.transposed() : final);
    }
    const bool affordable = cost >= 0 && cost <= MaxDecodedBytes
        && qint64(final.width()) * final.height() * BytesPerPixel <= MaxDecodedBytes;
    QImage img;
    if (!affordable || !reader.read(&img)) {
        const QImageReader::ImageReaderError error = reader.error();
        if (cost >= 0 && !affordable)
            failure = FileReport::TooLarge;
        else if (error == QImageReader::FileNotFoundError || error == QImageReader::DeviceError)
            failure = FileReport::NotReadable;
        else
            failure = FileReport::Damaged;
        return QImage();
    }
    if (!final.isValid())
        final = img.size().scaled(box, mode);
    return img.size() == final ? img
                               : img.scaled(final, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool ThumbnailWriter::save(const QImage& thumbnail, const QString& target,
                           ThumbSettings::tOutFormat format, const ThumbnailStamp& stamp) const
{
    const OutputFormat& written = OutputFormat::of(format);
    QImage image = thumbnail;
    if (!written.keepsAlpha && image.hasAlphaChannel()) {
        // BMP and JPEG keep no alpha: see-through parts show white, as on a page, not the
        // colours hidden under them (or black, once scaled).
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        image = flat;
    }
    QByteArray encoded;
    QBuffer buffer(&encoded);
    QImageWriter writer(&buffer, written.writerName);
    writer.setQuality(-1);
    if (written.format == ThumbSettings::OutPng)
        writer.setCompression(FastPngCompression);
    if (!writer.write(image))
        return false;
    encoded = stamp.addTo(std::move(encoded));
    return WholeFile::write(target, encoded);
}
