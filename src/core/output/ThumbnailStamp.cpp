#include "output/ThumbnailStamp.h"

#include "job/Names.h"
#include "output/OutputFormat.h"
#include "output/WholeFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QVector>
#include <QtEndian>

#include <utility>

#include <zlib.h>

const QString ThumbnailStamp::UriKey = QStringLiteral("Thumb::URI");
const QString ThumbnailStamp::MTimeKey = QStringLiteral("Thumb::MTime");
const QString ThumbnailStamp::SizeKey = QStringLiteral("Thumb::Size");
const QString ThumbnailStamp::SoftwareKey = QStringLiteral("Software");
const QString ThumbnailStamp::SettingsKey = QStringLiteral("X-Miravel::Settings");

namespace {

const QByteArray PngSignature = QByteArray::fromHex("89504e470d0a1a0a");
const QByteArray JpegStart = QByteArray::fromHex("ffd8");
// A PNG's first chunk, its header, is always 13 bytes long: signature, length, type, data, CRC.
constexpr int PngHeaderEnd = 8 + 4 + 4 + 13 + 4;
constexpr quint8 JpegComment = 0xfe;
constexpr quint8 JpegScanStart = 0xda;
constexpr quint8 JpegImageEnd = 0xd9;

QVector<std::pair<QString, QString>> keys(const ThumbnailStamp& stamp)
{
    return {{ThumbnailStamp::UriKey, stamp.uri},
            {ThumbnailStamp::MTimeKey, QString::number(stamp.mtime)},
            {ThumbnailStamp::SizeKey, QString::number(stamp.size)},
            {ThumbnailStamp::SoftwareKey, stamp.software},
            {ThumbnailStamp::SettingsKey, stamp.settings}};
}

void assign(ThumbnailStamp& stamp, const QString& key, const QString& value)
{
    if (key == ThumbnailStamp::UriKey)
        stamp.uri = value;
    else if (key == ThumbnailStamp::MTimeKey)
        stamp.mtime = value.toLongLong();
    else if (key == ThumbnailStamp::SizeKey)
        stamp.size = value.toLongLong();
    else if (key == ThumbnailStamp::SoftwareKey)
        stamp.software = value;
    else if (key == ThumbnailStamp::SettingsKey)
        stamp.settings = value;
}

QByteArray pngTextChunk(const QString& key, const QString& value)
{
    const QByteArray data = "tEXt" + key.toLatin1() + '\0' + value.toLatin1();
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size() - 4), chunk.data());
    chunk += data;
    const auto crc =
        quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
    QByteArray tail(4, '\0');
    qToBigEndian(crc, tail.data());
    return chunk + tail;
}

QByteArray jpegComment(const QString& key, const QString& value)
{
    const QByteArray text = key.toUtf8() + ": " + value.toUtf8();
    QByteArray segment(4, '\0');
    segment[0] = char(0xff);
    segment[1] = char(JpegComment);
    qToBigEndian(quint16(text.size() + 2), segment.data() + 2);
    return segment + text;
}

// Text chunks before the first picture data.
void readPng(QFile& file, ThumbnailStamp& stamp)
{
    for (QByteArray head = file.read(8); head.size() == 8; head = file.read(8)) {
        quint32 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4);
        if (type == "IDAT" || type == "IEND")
            return;
        if (type == "tEXt" && length < 65536) {
            const QByteArray data = file.read(length);
            const int nul = data.indexOf('\0');
            if (nul > 0)
                assign(stamp, QString::fromLatin1(data.left(nul)),
                       QString::fromLatin1(data.mid(nul + 1)));
            length = 0;
        }
        if (file.skip(qint64(length) + 4) != qint64(length) + 4)
            return;
    }
}

// Comments before the first scan.
void readJpeg(QFile& file, ThumbnailStamp& stamp)
{
    char c;
    while (file.getChar(&c) && quint8(c) == 0xff) {
        do {
            if (!file.getChar(&c))
                return;
        } while (quint8(c) == 0xff);
        const quint8 marker = quint8(c);
        if (marker == JpegScanStart || marker == JpegImageEnd)
            return;
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue; // no segment follows
        const QByteArray length = file.read(2);
        if (length.size() != 2)
            return;
        const qint64 size = qint64(qFromBigEndian<quint16>(length.constData())) - 2;
        if (marker != JpegComment) {
            if (size < 0 || file.skip(size) != size)
                return;
            continue;
        }
        const QString text = QString::fromUtf8(file.read(size));
        const int colon = text.indexOf(QLatin1String(": "));
        if (colon > 0 && !text.leftRef(colon).contains(QLatin1Char(' ')))
            assign(stamp, text.left(colon), text.mid(colon + 2));
    }
}

} // namespace

ThumbnailStamp ThumbnailStamp::of(const QString& source)
{
    const QFileInfo info(source);
    ThumbnailStamp stamp;
    stamp.uri = QString::fromLatin1(QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded());
    stamp.mtime = info.lastModified().toSecsSinceEpoch();
    stamp.size = info.size();
    stamp.software = Names::Product + QLatin1Char(' ') + QStringLiteral(MIRAVEL_VERSION);
    return stamp;
}

ThumbnailStamp ThumbnailStamp::shaped(const ThumbSettings& s, qint32 page) const
{
    ThumbnailStamp stamp = *this;
    stamp.settings = QStringLiteral("size=%1x%2 aspect=%3 format=%4 pages=%5-%6 page=%7")
                         .arg(s.width)
                         .arg(s.height)
                         .arg(s.keepAspectRatio ? QLatin1String("keep") : QLatin1String("stretch"))
                         .arg(OutputFormat::of(s.outputFormat).extension)
                         .arg(s.pageStart)
                         .arg(s.pageEnd)
                         .arg(page);
    return stamp;
}

ThumbnailStamp ThumbnailStamp::read(const QString& path)
{
    ThumbnailStamp stamp;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return stamp;
    const QByteArray start = file.peek(8);
    if (start == PngSignature) {
        file.skip(8);
        readPng(file, stamp);
    } else if (start.startsWith(JpegStart)) {
        file.skip(2);
        readJpeg(file, stamp);
    }
    return stamp;
}

bool ThumbnailStamp::isOwn() const
{
    return software.section(QLatin1Char(' '), 0, 0) == Names::Product;
}

bool ThumbnailStamp::matches(const ThumbnailStamp& made) const
{
    return made.uri == uri && made.mtime == mtime && made.size == size && made.settings == settings;
}

QByteArray ThumbnailStamp::addTo(QByteArray encoded) const
{
    QByteArray added;
    int at = -1;
    if (encoded.startsWith(PngSignature)) {
        at = PngHeaderEnd;
        for (const auto& [key, value] : keys(*this))
            added += pngTextChunk(key, value);
    } else if (encoded.startsWith(JpegStart)) {
        // After the application segments (JFIF, Exif), which readers expect first.
        at = JpegStart.size();
        while (at + 4 <= encoded.size() && quint8(encoded.at(at)) == 0xff
               && (quint8(encoded.at(at + 1)) & 0xf0) == 0xe0)
            at += 2 + qFromBigEndian<quint16>(encoded.constData() + at + 2);
        for (const auto& [key, value] : keys(*this))
            added += jpegComment(key, value);
    }
    if (at < 0)
        return encoded;
    return encoded.insert(qMin(at, encoded.size()), added);
}

bool ThumbnailStamp::addToFile(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray stamped = addTo(file.readAll());
    file.close();
    return WholeFile::write(path, stamped);
}
