#include "FileNameCodec.h"
#include "output/NameClaims.h"
#include "output/NameTemplate.h"
#include "producers/ImageThumbnailer.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

// Output names: template language, tokens, size texts, folders and extensions.
class TestNaming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void expandTemplate_data();
    void expandTemplate();
    void thumbnailPath_data();
    void thumbnailPath();
    void nameClaims();
    void readsClock();
    void fileNames_data();
    void fileNames();

private:
    QTemporaryDir dir;
};

void TestNaming::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Q3.final")));
}

void TestNaming::expandTemplate_data()
{
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("expected");
    QTest::addRow("name, page and literal characters") << "a/b:*?[NAME]_[PAGE]" << qint64(0) << "a/b:*?report.final_3";
    QTest::addRow("tokens in any case") << "[name]_[PaGe]" << qint64(0) << "report.final_3";
    QTest::addRow("empty and unknown tokens vanish") << "a[]b[COUNTER]c" << qint64(0) << "abc";
    QTest::addRow("doubled brackets") << "[[NAME]]" << qint64(0) << "]";
    QTest::addRow("stray closing bracket") << "report]" << qint64(0) << "report]";
    QTest::addRow("unclosed token at end") << "pre[NAME" << qint64(0) << "prereport.final";
    QTest::addRow("modified date and time") << "[MDATE]_[MTIME]" << qint64(0) << "Sat_December_5_2026_09_05";
    QTest::addRow("folder cut at first dot") << "[FOLDER]" << qint64(0) << "Q3";
    QTest::addRow("size, locale groups digits") << "[FILESIZE]" << qint64(1023) << "1,023 byte(s)";
    QTest::addRow("size exactly 1 KB") << "[FILESIZE]" << qint64(1024) << "1 KB";
    QTest::addRow("size just below 1 MB") << "[FILESIZE]" << qint64(1048575) << "1,023 KB";
    QTest::addRow("size exactly 1 MB") << "[FILESIZE]" << qint64(1048576) << "1.0 MB";
    QTest::addRow("size exactly 1 GB") << "[FILESIZE]" << qint64(1073741824) << "1.00 GB";
    QTest::addRow("size exactly 1 TB") << "[FILESIZE]" << qint64(1099511627776) << "1.000 TB";
}

void TestNaming::expandTemplate()
{
    QFETCH(QString, nameTemplate);
    QFETCH(qint64, size);
    QFETCH(QString, expected);
    // Sparse files: large sizes cost no disk space.
    QFile report(dir.filePath(QStringLiteral("Q3.final/report.final.docx")));
    QVERIFY(report.open(QIODevice::WriteOnly));
    if (!report.resize(size))
        QSKIP("the file system cannot hold a sparse file of this size");
    // Saturday, 5 December 2026, 9:05 in the morning.
    QVERIFY(report.setFileTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5)), QFileDevice::FileModificationTime));
    QCOMPARE(Thumbnailer::expandTemplate(nameTemplate, report, 3), expected);
}

void TestNaming::thumbnailPath_data()
{
    QTest::addColumn<QString>("outputFolder");
    QTest::addColumn<bool>("useFileFolder");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("expected");
    QTest::addRow("bmp") << "/Thumbs" << false << "/data/report.final.docx" << 0 << "/Thumbs/report.final_3.bmp";
    QTest::addRow("jpeg, trailing separator kept") << "/Thumbs/" << false << "/data/report.final.docx" << 1 << "/Thumbs/report.final_3.jpg";
    QTest::addRow("out of range is png") << "/Thumbs" << false << "/data/report.final.docx" << 7 << "/Thumbs/report.final_3.png";
    QTest::addRow("own folder") << "/Thumbs" << true << "/data/report.final.docx" << 2 << "/data/report.final_3.png";
    QTest::addRow("own folder at the root") << "/Thumbs" << true << "/report.docx" << 2 << "/report_3.png";
}

void TestNaming::thumbnailPath()
{
    QFETCH(QString, outputFolder);
    QFETCH(bool, useFileFolder);
    QFETCH(QString, source);
    QFETCH(int, format);
    QFETCH(QString, expected);
    ThumbSettings s;
    s.nameFormat = QStringLiteral("[NAME]_[PAGE]");
    s.setOutputFolder(outputFolder);
    s.useFileFolder = useFileFolder;
    s.outputFormat = ThumbSettings::tOutFormat(format);
    ImageThumbnailer probe;
    probe.setSettings(s);
    QCOMPARE(probe.thumbnailPath(QFile(source), 3), expected);
}

QTEST_MAIN(TestNaming)
#include "tst_naming.moc"

// One job's thumbnail names: one file, one source, whatever the spelling of its path.
// Only a template that names by the clock makes each run's names differ.
void TestNaming::readsClock()
{
    const QList<QPair<QString, bool>> templates{{"[NAME]_[date]", true}, {"[]x[Time]", true}, {"x[DATE", true},
                                                {"[MDATE]_[MTIME]", false}, {"[ DATE]", false}, {"[[DATE]", false}};
    for (const auto& [text, clock] : templates)
        QVERIFY2(NameTemplate::readsClock(text) == clock, qPrintable(text));
}

void TestNaming::nameClaims()
{
    NameClaims claims;
    const QString path = dir.filePath(QStringLiteral("t.v1.png")), linked = dir.filePath(QStringLiteral("link/t.v1.png"));
    QVERIFY(QFile::link(dir.path(), dir.filePath(QStringLiteral("link"))));
    QCOMPARE(claims.claim(path, "one"), path);
    QCOMPARE(claims.claim(path, "one"), path); // its pages of one name replace each other
    QCOMPARE(claims.claim(linked, "two"), dir.filePath(QStringLiteral("link/t.v1-2.png")));
    for (int again = 0; again < 2; ++again)
        QCOMPARE(claims.claim(path, "three"), dir.filePath(QStringLiteral("t.v1-3.png")));
    QCOMPARE(claims.claim(path, "two"), dir.filePath(QStringLiteral("t.v1-2.png")));
    QCOMPARE(claims.clashesOf("three"), QStringList({"one", "two"}));
    claims.clear();
    QCOMPARE(claims.claim(path, "three"), path);
    QCOMPARE(claims.clashesOf("three"), QStringList());
}

// Any byte string is a name: decoded, then encoded back to the same bytes.
void TestNaming::fileNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    // Each byte not in UTF-8 is U+EF00 + the byte.
    QTest::addRow("UTF-8 as it is") << QByteArray("a\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80") << QString::fromUtf8("a\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80");
    QTest::addRow("Latin-1 bytes escaped") << QByteArray("\xe9t\xe9\xff") << QString::fromUtf16(u"\uefe9t\uefe9\uefff");
    QTest::addRow("overlong, surrogate and too high forms escaped") << QByteArray("\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80")
        << QString::fromUtf16(u"\uefc0\uefaf\uefe0\uef80\uefaf\uefed\uefa0\uef80\ueff4\uef90\uef80\uef80");
    QTest::addRow("sequence cut short") << QByteArray("a\xe6\x97") << QString::fromUtf16(u"a\uefe6\uef97");
    QTest::addRow("an escape's own UTF-8 escaped too") << QByteArray("\xee\xbf\xa9") << QString::fromUtf16(u"\uefee\uefbf\uefa9");
}

void TestNaming::fileNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    FileNameCodec::installForLocale(); // once: then the locale's codec is no longer plain UTF-8
    const QByteArray padded = bytes + "\x97\xa5"; // past the end, as if a cut sequence went on: never read
    QCOMPARE(QString::fromLocal8Bit(padded.constData(), bytes.size()), name);
    QCOMPARE(QFile::encodeName(name), bytes);
}
