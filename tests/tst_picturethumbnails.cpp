#include "ImageThumbnailer.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

// Scaling and saving thumbnails, and the picture producer.
class TestPictureThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scaling_data();
    void scaling();
    void formats_data();
    void formats();
    void refused_data();
    void refused();
    void producer_data();
    void producer();

private:
    QString fixture(const QString& name, const QSize& size, const char* format = "PNG");
    QString write(const QString& name, const QByteArray& content);
    ThumbSettings settings(int width, int height, bool keep, int format = 2) const;

    QTemporaryDir dir;
};

// Left half red, right half blue: orientation and scaling stay visible.
static QImage sample(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
    painter.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), Qt::blue);
    return image;
}

QString TestPictureThumbnails::fixture(const QString& name, const QSize& size, const char* format)
{
    const QString path = dir.filePath(name);
    QImageWriter writer(path, format);
    if (!writer.write(sample(size)))
        return QString();
    return path;
}

QString TestPictureThumbnails::write(const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return file.fileName();
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

// A JPEG with an EXIF orientation tag inserted after its start marker.
static QByteArray jpegWithOrientation(const QImage& image, quint16 orientation)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    const unsigned char app1[] = {
        0xff, 0xe1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0x00, 0x00,   // marker, length 34, "Exif"
        'I', 'I', 0x2a, 0x00, 0x08, 0x00, 0x00, 0x00,             // little-endian TIFF header
        0x01, 0x00,                                               // one entry
        0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00,           // Orientation, SHORT, 1
        quint8(orientation), 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00};                                  // no next IFD
    jpeg.insert(2, reinterpret_cast<const char*>(app1), sizeof app1);
    return jpeg;
}

void TestPictureThumbnails::scaling_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("variant"); // "plain", "turned" (EXIF orientation 6), "truncated"
    QTest::addColumn<QSize>("box");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QSize>("expected");
    QTest::addRow("keep aspect covers the box") << QSize(1000, 500) << QByteArray("PNG") << "plain" << QSize(200, 200) << true << QSize(400, 200);
    QTest::addRow("jpeg decoded scaled, ignore aspect") << QSize(1000, 500) << QByteArray("JPEG") << "plain" << QSize(200, 150) << false << QSize(200, 150);
    QTest::addRow("jpeg odd size, keep") << QSize(4000, 3000) << QByteArray("JPEG") << "plain" << QSize(200, 200) << true << QSize(266, 200);
    QTest::addRow("small picture is enlarged") << QSize(50, 100) << QByteArray("PNG") << "plain" << QSize(200, 200) << true << QSize(200, 400);
    QTest::addRow("turned upright, keep") << QSize(400, 200) << QByteArray("JPEG") << "turned" << QSize(100, 100) << true << QSize(100, 200);
    QTest::addRow("turned upright, stretched") << QSize(400, 200) << QByteArray("JPEG") << "turned" << QSize(100, 100) << false << QSize(100, 100);
    // The decoder fills the missing part, as viewers show it.
    QTest::addRow("truncated jpeg, whole size") << QSize(800, 600) << QByteArray("JPEG") << "truncated" << QSize(200, 200) << true << QSize(266, 200);
}

void TestPictureThumbnails::scaling()
{
    QFETCH(QSize, source);
    QFETCH(QByteArray, format);
    QFETCH(QString, variant);
    QFETCH(QSize, box);
    QFETCH(bool, keep);
    QFETCH(QSize, expected);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && sample(source).save(&buffer, format, 95));
    if (variant == QLatin1String("turned"))
        bytes = jpegWithOrientation(sample(source), 6);
    else if (variant == QLatin1String("truncated"))
        bytes.truncate(bytes.size() / 2);
    const QString path = write(QStringLiteral("scale.") + QString::fromLatin1(format).toLower(), bytes);
    // An old thumbnail in the way is replaced.
    const QString target = write(QStringLiteral("out/scaled.png"), QByteArray(100000, 'x'));
    ImageThumbnailer saver;
    saver.setSettings(settings(box.width(), box.height(), keep));
    QVERIFY(saver.saveThumbnail(path, target, ThumbSettings::OutPng));
    const QImage result(target);
    QCOMPARE(result.size(), expected);
    if (variant == QLatin1String("truncated"))
        return;
    // Red still first and blue last, from left to right, or top to bottom once turned.
    const bool turned = variant == QLatin1String("turned");
    const int w = result.width(), h = result.height();
    const QColor first = turned ? result.pixelColor(w / 2, h / 8) : result.pixelColor(w / 8, h / 2);
    const QColor last = turned ? result.pixelColor(w / 2, h * 7 / 8) : result.pixelColor(w * 7 / 8, h / 2);
    QVERIFY2(first.red() > 200 && first.blue() < 60, qPrintable(first.name()));
    QVERIFY2(last.blue() > 200 && last.red() < 60, qPrintable(last.name()));
}

void TestPictureThumbnails::formats_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("side");
    QTest::addColumn<QByteArray>("written");
    QTest::addRow("bmp, see-through shows white") << 0 << 100 << QByteArray("bmp");
    QTest::addRow("jpeg not scaled, white too") << 1 << 300 << QByteArray("jpeg");
    QTest::addRow("png keeps alpha") << 2 << 100 << QByteArray("png");
    QTest::addRow("out of range writes png") << 7 << 100 << QByteArray("png");
}

void TestPictureThumbnails::formats()
{
    QFETCH(int, format);
    QFETCH(int, side);
    QFETCH(QByteArray, written);
    // Left half see-through over a red no viewer shows, right half blue.
    QImage picture(300, 300, QImage::Format_ARGB32);
    picture.fill(QColor(255, 0, 0, 0));
    QPainter(&picture).fillRect(150, 0, 150, 300, Qt::blue);
    const QString path = dir.filePath(QStringLiteral("format.png"));
    QVERIFY(picture.save(path));
    ImageThumbnailer saver;
    saver.setSettings(settings(side, side, true, format));
    // The extension does not decide the format; the content must.
    const QString target = dir.filePath(QStringLiteral("out/format.thumb"));
    QVERIFY(saver.saveThumbnail(path, target, ThumbSettings::tOutFormat(format)));
    QImageReader reader(target);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), written);
    const QImage result = reader.read();
    QCOMPARE(result.size(), QSize(side, side));
    const QColor left = result.pixelColor(side / 8, side / 2);
    const QColor right = result.pixelColor(side * 7 / 8, side / 2);
    QVERIFY2(right.blue() > 200 && right.red() < 60 && right.alpha() == 255,
             qPrintable(right.name(QColor::HexArgb)));
    if (written != "png") {
        QVERIFY2(qMin(left.red(), qMin(left.green(), left.blue())) > 240,
                 qPrintable(left.name(QColor::HexArgb)));
        return;
    }
    QVERIFY2(left.alpha() == 0, qPrintable(left.name(QColor::HexArgb)));
    // Written with zlib's fastest level: FLEVEL, the top bits of the stream's second byte.
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const int idat = bytes.indexOf("IDAT");
    QVERIFY(idat > 0 && bytes.size() > idat + 6);
    QCOMPARE(quint8(bytes.at(idat + 5)) >> 6, 0);
}

// A PNG whose header claims width x height, with a valid checksum.
static QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    sample(QSize(4, 4)).save(&buffer, "PNG");
    // Signature (8), chunk length (4), "IHDR" (4), then width and height.
    auto put = [&png](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            png[at + i] = char((v >> (24 - 8 * i)) & 0xff);
    };
    put(16, width);
    put(20, height);
    const quint32 crc = crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17);
    put(29, crc);
    return png;
}

// A small progressive JPEG whose frame header claims width x height.
static QByteArray progressiveJpegClaiming(quint16 width, quint16 height)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPEG");
    writer.setProgressiveScanWrite(true);
    writer.write(sample(QSize(16, 16)));
    // Marker (2), length (2), precision (1), then height and width.
    const int frame = jpeg.indexOf("\xff\xc2");
    if (frame < 0)
        return QByteArray();
    for (const auto& [at, v] : {std::pair<int, quint16>{5, height}, {7, width}}) {
        jpeg[frame + at] = char(v >> 8);
        jpeg[frame + at + 1] = char(v & 0xff);
    }
    return jpeg;
}

void TestPictureThumbnails::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: a real 10 x 10 PNG
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("expectedErrors");
    QTest::addRow("header claims 50000 x 50000") << "huge.png" << pngClaiming(50000, 50000)
                                                 << "out/t.png"
                                                 << QStringList{" img.isNull()  ", " saveImage "};
    // libjpeg holds a progressive picture whole, however small the thumbnail.
    QTest::addRow("progressive jpeg claims 20000 x 20000")
        << "huge.jpg" << progressiveJpegClaiming(20000, 20000) << "out/t.png"
        << QStringList{" img.isNull()  ", " saveImage "};
    QTest::addRow("missing target folder") << "ok.png" << QByteArray() << "nowhere/t.png"
                                           << QStringList{" saveImage "};
}

void TestPictureThumbnails::refused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, target);
    QFETCH(QStringList, expectedErrors);
    const QString path = content.isNull() ? fixture(name, QSize(10, 10)) : write(name, content);
    if (!content.isNull())
        QCOMPARE(QImageReader(path).size().width() % 10000, 0);
    ImageThumbnailer saver;
    saver.setSettings(settings(100, 100, true));
    const QString targetPath = dir.filePath(target);
    LogCapture log;
    QVERIFY(!saver.saveThumbnail(path, targetPath, ThumbSettings::OutPng));
    QVERIFY(!QFile::exists(targetPath));
    const QStringList errors = log.errors();
    QCOMPARE(errors.size(), expectedErrors.size());
    for (int i = 0; i < errors.size(); ++i) {
        QVERIFY2(errors.at(i).contains(QStringLiteral("Thumbnailer::saveThumbnail")), qPrintable(errors.at(i)));
        QVERIFY2(errors.at(i).contains(expectedErrors.at(i)), qPrintable(errors.at(i)));
    }
    // Nothing but our own lines: the huge image never reached the decoder.
    QCOMPARE(log.lines().size(), errors.size());
}

// A 2 x 2 GIF, made by hand: Qt reads GIF but cannot write it.
static const unsigned char TinyGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x00, 0x02, 0x00, 0x80, 0x00, 0x00, 0xff, 0x00,
    0x00, 0x00, 0x00, 0xff, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x02,
    0x03, 0x44, 0x02, 0x05, 0x00, 0x3b};

void TestPictureThumbnails::producer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("writer"); // empty: not a picture
    // One row per decoder.
    QTest::addRow("bmp read by content as .dib") << "every.dib" << QByteArray("BMP");
    QTest::addRow("jpeg, upper-case name kept") << "PHOTO.JPG" << QByteArray("JPEG");
    QTest::addRow("png") << "every.png" << QByteArray("PNG");
    QTest::addRow("netpbm") << "every.ppm" << QByteArray("PPM");
    QTest::addRow("xbm") << "every.xbm" << QByteArray("XBM");
    QTest::addRow("xpm") << "every.xpm" << QByteArray("XPM");
    QTest::addRow("tiff") << "every.tif" << QByteArray("TIFF");
    QTest::addRow("gif") << "every.gif" << QByteArray("GIF");
    QTest::addRow("no picture data") << "fake.jpg" << QByteArray();
}

void TestPictureThumbnails::producer()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, writer);
    QString path;
    if (writer == "GIF")
        path = write(name, QByteArray(reinterpret_cast<const char*>(TinyGif), sizeof TinyGif));
    else if (writer.isEmpty())
        path = write(name, "not a picture");
    else
        path = fixture(name, QSize(64, 48), writer.constData());
    QVERIFY2(!path.isEmpty(), "Qt cannot write this format: are the image plugins installed?");
    ImageThumbnailer producer;
    QVERIFY(producer.supportedExtensions().contains(QFileInfo(name).suffix().toLower()));
    ThumbSettings s = settings(32, 32, false);
    s.pageStart = 3; // pictures have one page, whatever the range
    s.pageEnd = 5;
    producer.setSettings(s);
    QFile file(path);
    LogCapture log;
    const Thumbnailer::tThumbnailPages pages = producer.generate(file);
    if (writer.isEmpty()) {
        QVERIFY(pages.isEmpty());
        const QStringList errors = log.errors();
        QCOMPARE(errors.size(), 3);
        QVERIFY(errors.at(2).contains(QStringLiteral("ImageThumbnailer::generate")));
        QVERIFY(errors.at(2).contains(QStringLiteral(" file: ")));
        return;
    }
    QCOMPARE(pages.keys(), QList<qint32>{1});
    QCOMPARE(pages.value(1), dir.filePath(QStringLiteral("out/thumbnail_%1_1.png").arg(QFileInfo(name).completeBaseName())));
    QCOMPARE(QImage(pages.value(1)).size(), QSize(32, 32));
}

QTEST_MAIN(TestPictureThumbnails)
#include "tst_picturethumbnails.moc"
