#include "producers/ImageThumbnailer.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>
#include <csignal>
#include <sys/resource.h>

// Scaling and saving thumbnails, and the picture producer.
class TestPictureThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void saveThumbnail_data();
    void saveThumbnail();
    void hugeBaselineJpegDecodedReduced();
    void fullDiskLeavesOldThumbnail();
    void producer_data();
    void producer();
    void stamp_data();
    void stamp();

private:
    ThumbSettings settings(int width, int height, bool keep, int format = 2) const;

    QTemporaryDir dir;
};

// Left half `left`, right half blue: orientation, scaling and transparency stay visible.
static QImage sample(const QSize& size, const QColor& left = Qt::red)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(left);
    QPainter(&image).fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), Qt::blue);
    return image;
}

static QByteArray encoded(const QImage& image, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// A 16 x 16 JPEG whose frame header (marker, length, precision, height, width) claims 20000 x 20000.
static QByteArray jpegClaiming20000(bool progressive)
{
    QByteArray bytes = encoded(sample(QSize(16, 16)), "JPEG", progressive);
    const int frame = bytes.indexOf(progressive ? "\xff\xc2" : "\xff\xc0");
    if (frame < 0)
        return QByteArray();
    qToBigEndian(quint16(20000), bytes.data() + frame + 5);
    qToBigEndian(quint16(20000), bytes.data() + frame + 7);
    return bytes;
}

ThumbSettings TestPictureThumbnails::settings(int width, int height, bool keep, int format) const
{
    ThumbSettings s;
    s.width = width;
    s.height = height;
    s.keepAspectRatio = keep;
    s.outputFormat = ThumbSettings::tOutFormat(format);
    s.nameFormat = QStringLiteral("thumbnail_[NAME]_[PAGE]");
    s.setOutputFolder(dir.filePath(QStringLiteral("out")));
    return s;
}

void TestPictureThumbnails::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
}

void TestPictureThumbnails::saveThumbnail_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("written"); // by content: the extension does not decide
    QTest::addColumn<QSize>("expected");
    QTest::addColumn<QRgb>("left"); // premultiplied: any see-through pixel reads 0
    QTest::addColumn<QStringList>("errors"); // not empty: refused
    QByteArray turned = encoded(sample(QSize(200, 400)).transformed(QTransform().rotate(-90)), "JPEG");
    // After the start marker: APP1 of 34 bytes, "Exif", a little-endian TIFF header, one entry
    // (Orientation, SHORT, 6: turn right to view) and no next IFD.
    turned.insert(2, QByteArray::fromHex("ffe10022 457869660000 49492a0008000000 0100 120103000100000006000000 00000000"));
    // The decoder fills the missing part, as viewers show it.
    QByteArray truncated = encoded(sample(QSize(800, 600)), "JPEG");
    truncated.chop(truncated.size() / 2);
    // Header claims 50000 x 50000: after the signature (8), chunk length (4) and "IHDR".
    QByteArray huge = encoded(sample(QSize(4, 4)), "PNG");
    qToBigEndian(quint32(50000), huge.data() + 16);
    qToBigEndian(quint32(50000), huge.data() + 20);
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef*>(huge.constData() + 12), 17)), huge.data() + 29);
    // libjpeg holds a progressive picture whole, however small the thumbnail.
    const QByteArray progressive = jpegClaiming20000(true);
    QVERIFY(!progressive.isEmpty());
    const QByteArray seeThrough = encoded(sample(QSize(300, 300), QColor(255, 0, 0, 0)), "PNG");
    const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255);
    const QStringList refused{" img.isNull()  ", " saveImage "};
    QTest::addRow("keep aspect covers the box") << encoded(sample(QSize(1000, 500)), "PNG") << QSize(200, 200) << true << 2 << "out/t.thumb" << QByteArray("png") << QSize(400, 200) << red << QStringList();
    QTest::addRow("jpeg decoded scaled, ignore aspect") << encoded(sample(QSize(1000, 500)), "JPEG") << QSize(200, 150) << false << 2 << "out/t.thumb" << QByteArray("png") << QSize(200, 150) << red << QStringList();
    QTest::addRow("jpeg odd size, keep") << encoded(sample(QSize(4000, 3000)), "JPEG") << QSize(200, 200) << true << 2 << "out/t.thumb" << QByteArray("png") << QSize(266, 200) << red << QStringList();
    QTest::addRow("small picture is enlarged") << encoded(sample(QSize(50, 100)), "PNG") << QSize(200, 200) << true << 2 << "out/t.thumb" << QByteArray("png") << QSize(200, 400) << red << QStringList();
    QTest::addRow("turned upright") << turned << QSize(100, 100) << true << 2 << "out/t.thumb" << QByteArray("png") << QSize(100, 200) << red << QStringList();
    QTest::addRow("truncated jpeg, whole size") << truncated << QSize(200, 200) << true << 2 << "out/t.thumb" << QByteArray("png") << QSize(266, 200) << red << QStringList();
    QTest::addRow("bmp, see-through shows white") << seeThrough << QSize(100, 100) << true << 0 << "out/t.thumb" << QByteArray("bmp") << QSize(100, 100) << white << QStringList();
    QTest::addRow("jpeg not scaled, white too") << seeThrough << QSize(300, 300) << true << 1 << "out/t.thumb" << QByteArray("jpeg") << QSize(300, 300) << white << QStringList();
    QTest::addRow("png keeps alpha") << seeThrough << QSize(100, 100) << true << 2 << "out/t.thumb" << QByteArray("png") << QSize(100, 100) << QRgb(0) << QStringList();
    QTest::addRow("out of range writes png") << seeThrough << QSize(100, 100) << true << 7 << "out/t.thumb" << QByteArray("png") << QSize(100, 100) << QRgb(0) << QStringList();
    QTest::addRow("refused: header claims 50000 x 50000") << huge << QSize(100, 100) << true << 2 << "out/t.thumb" << QByteArray() << QSize() << red << refused;
    QTest::addRow("refused: progressive jpeg claims 20000 x 20000") << progressive << QSize(100, 100) << true << 2 << "out/t.thumb" << QByteArray() << QSize() << red << refused;
    QTest::addRow("failed write: missing target folder") << encoded(sample(QSize(10, 10)), "PNG") << QSize(100, 100) << true << 2 << "nowhere/t.png" << QByteArray() << QSize() << red << QStringList{" saveImage "};
}

void TestPictureThumbnails::saveThumbnail()
{
    QFETCH(QByteArray, content);
    QFETCH(QSize, box);
    QFETCH(bool, keep);
    QFETCH(int, format);
    QFETCH(QString, target);
    QFETCH(QByteArray, written);
    QFETCH(QSize, expected);
    QFETCH(QRgb, left);
    QFETCH(QStringList, errors);
    const QString path = writeFile(dir.filePath(QStringLiteral("source")), content);
    const QString targetPath = dir.filePath(target);
    // An old thumbnail in the way is replaced, or left whole when refused.
    writeFile(targetPath, QByteArray(100000, 'x'));
    ImageThumbnailer saver;
    saver.setSettings(settings(box.width(), box.height(), keep, format));
    LogCapture log;
    const bool saved = saver.saveThumbnail(path, targetPath, ThumbSettings::tOutFormat(format));
    const QStringList logged = log.errors();
    QCOMPARE(logged.size(), errors.size());
    for (int i = 0; i < errors.size(); ++i)
        QVERIFY2(logged.at(i).contains(errors.at(i)), qPrintable(logged.at(i)));
    QCOMPARE(saved, errors.isEmpty());
    // Refused pictures are the two too large to decode; a refused write is the missing folder's.
    QCOMPARE(saver.takeFailure(), errors.size() == 2 ? FileReport::TooLarge : errors.size() == 1 ? FileReport::CannotWrite : FileReport::None);
    if (!saved) {
        // Nothing but our own lines: a huge image never reaches the decoder.
        QCOMPARE(log.lines().size(), logged.size());
        QVERIFY(!QFile::exists(targetPath) || QFileInfo(targetPath).size() == 100000);
        return;
    }
    QImageReader reader(targetPath);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), written);
    const QImage result = reader.read();
    QCOMPARE(result.size(), expected);
    // Left then blue, from left to right, whatever the source's orientation or alpha.
    for (const auto& [x, want] : {std::pair<int, QRgb>{result.width() / 8, left}, {result.width() * 7 / 8, qRgb(0, 0, 255)}}) {
        const QRgb got = qPremultiply(result.pixel(x, result.height() / 8));
        for (int shift = 0; shift < 32; shift += 8)
            QVERIFY2(qAbs(int(got >> shift & 0xff) - int(want >> shift & 0xff)) < 60, qPrintable(QString::number(got, 16)));
    }
    if (written != "png")
        return;
    // Written with zlib's fastest level: FLEVEL, the top bits of the stream's second byte.
    QFile file(targetPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const int idat = bytes.indexOf("IDAT");
    QVERIFY(idat > 0);
    QCOMPARE(quint8(bytes.at(idat + 5)) >> 6, 0);
}

// A single sequential scan is reduced to 1/8 while decoding: 25 MB, well within the budget.
void TestPictureThumbnails::hugeBaselineJpegDecodedReduced()
{
    const QString target = dir.filePath(QStringLiteral("out/baseline.png"));
    ImageThumbnailer saver;
    saver.setSettings(settings(100, 100, true, ThumbSettings::OutPng));
    QVERIFY(saver.saveThumbnail(writeFile(dir.filePath(QStringLiteral("baseline")), jpegClaiming20000(false)), target, ThumbSettings::OutPng));
    QCOMPARE(QImage(target).size(), QSize(100, 100));
}

// A write cut short (a full disk, here a file size limit) leaves the old thumbnail and no part file.
void TestPictureThumbnails::fullDiskLeavesOldThumbnail()
{
    const QString folder = dir.filePath(QStringLiteral("full"));
    QVERIFY(QDir().mkpath(folder));
    const QString target = writeFile(folder + QStringLiteral("/t.png"), "old");
    QImage noise(400, 400, QImage::Format_RGB32);
    for (int i = 0; i < noise.width() * noise.height(); ++i)
        noise.setPixel(i % 400, i / 400, qRgb(i * 7919 % 256, i * 104729 % 256, i % 251));
    const QString source = writeFile(dir.filePath(QStringLiteral("noise.png")), encoded(noise, "PNG"));
    ImageThumbnailer saver;
    saver.setSettings(settings(400, 400, true));
    rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{20000, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const bool saved = saver.saveThumbnail(source, target, ThumbSettings::OutPng);
    ::setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!saved);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"t.png"});
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll() == "old");
}

void TestPictureThumbnails::producer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    // One row per decoder.
    const QImage picture = sample(QSize(64, 48));
    QTest::addRow("bmp read by content as .dib") << "every.dib" << encoded(picture, "BMP");
    QTest::addRow("jpeg, upper-case name kept") << "PHOTO.JPG" << encoded(picture, "JPEG");
    QTest::addRow("png") << "every.png" << encoded(picture, "PNG");
    QTest::addRow("netpbm") << "every.ppm" << encoded(picture, "PPM");
    QTest::addRow("xbm") << "every.xbm" << encoded(picture, "XBM");
    QTest::addRow("xpm") << "every.xpm" << encoded(picture, "XPM");
    QTest::addRow("tiff") << "every.tif" << encoded(picture, "TIFF");
    // A 2 x 2 GIF, made by hand: Qt reads GIF but cannot write it.
    QTest::addRow("gif") << "every.gif" << QByteArray::fromHex("474946383961 02000200800000 ff00000000ff 2c000000000200020000 02 03440205 00 3b");
    QTest::addRow("no picture data") << "broken.jpg" << QByteArray("not a picture");
    QTest::addRow("size known, data cut short") << "broken.png" << encoded(picture, "PNG").left(70);
}

void TestPictureThumbnails::producer()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QVERIFY2(!content.isEmpty(), "Qt cannot write this format: are the image plugins installed?");
    ImageThumbnailer producer;
    QVERIFY(producer.supportedExtensions().contains(QFileInfo(name).suffix().toLower()));
    ThumbSettings s = settings(32, 32, false);
    s.pageStart = 3; // pictures have one page, whatever the range
    s.pageEnd = 5;
    producer.setSettings(s);
    QFile file(writeFile(dir.filePath(name), content));
    LogCapture log;
    const Thumbnailer::tThumbnailPages pages = producer.generate(file);
    QCOMPARE(producer.takeFailure(), name.startsWith("broken") ? FileReport::Damaged : FileReport::None);
    if (name.startsWith("broken")) {
        QVERIFY(pages.isEmpty());
        QCOMPARE(log.errors().size(), 3);
        return;
    }
    QCOMPARE(pages.keys(), QList<qint32>{1});
    QCOMPARE(pages.value(1), dir.filePath(QStringLiteral("out/thumbnail_%1_1.png").arg(QFileInfo(name).completeBaseName())));
    QCOMPARE(QImage(pages.value(1)).size(), QSize(32, 32));
}

void TestPictureThumbnails::stamp_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("settings"); // empty: no key at all
    QTest::addRow("png: text chunks") << 2 << "size=40x30 aspect=stretch format=png pages=1-1 page=1";
    QTest::addRow("jpeg: comments") << 1 << "size=40x30 aspect=stretch format=jpg pages=1-1 page=1";
    QTest::addRow("bmp: no room") << 0 << "";
}

// What the thumbnail says it was made from, read by Qt's own decoders.
void TestPictureThumbnails::stamp()
{
    QFETCH(int, format);
    QFETCH(QString, settings);
    ImageThumbnailer producer;
    producer.setSettings(this->settings(40, 30, false, format));
    QFile file(writeFile(dir.filePath(QStringLiteral("stamped é #1.png")), encoded(sample(QSize(64, 48)), "PNG")));
    const QImage made(producer.generate(file).value(1));
    QCOMPARE(made.size(), QSize(40, 30));
    const QFileInfo source(file);
    QStringList expected{QUrl::fromLocalFile(source.absoluteFilePath()).toString(QUrl::FullyEncoded), QString::number(source.lastModified().toSecsSinceEpoch()),
                         QString::number(source.size()), QStringLiteral("Miravel 1.5"), settings};
    QStringList keys;
    for (const char* key : {"Thumb::URI", "Thumb::MTime", "Thumb::Size", "Software", "X-Miravel::Settings"})
        keys << made.text(QLatin1String(key));
    QCOMPARE(keys, settings.isEmpty() ? QVector<QString>(5).toList() : expected);
}

QTEST_MAIN(TestPictureThumbnails)
#include "tst_picturethumbnails.moc"
