#include "ThumbSettings.h"
#include "Thumbnailer.h"

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
    void sizeText_data();
    void sizeText();
    void clockTokens();
    void thumbnailPath_data();
    void thumbnailPath();

private:
    QTemporaryDir dir;
    QString reportPath;
};

void TestNaming::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Docs")));
    reportPath = dir.filePath(QStringLiteral("Docs/report.final.docx"));
    QFile report(reportPath);
    QVERIFY(report.open(QIODevice::WriteOnly));
    report.write(QByteArray(3000, 'x'));
    report.close();
    // Saturday, 5 December 2026, 9:05 in the morning.
    const QDateTime when(QDate(2026, 12, 5), QTime(9, 5));
    QVERIFY(report.open(QIODevice::ReadWrite));
    QVERIFY(report.setFileTime(when, QFileDevice::FileModificationTime));
    report.close();
}

void TestNaming::expandTemplate_data()
{
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<QString>("source"); // empty: the report in Docs/
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("expected");

    QTest::addRow("name and page") << "thumbnail_[NAME]_[PAGE]" << "" << 3 << "thumbnail_report.final_3";
    QTest::addRow("lower-case tokens") << "thumbnail_[name]_[page]" << "" << 3 << "thumbnail_report.final_3";
    QTest::addRow("mixed-case token") << "[NaMe]" << "" << 1 << "report.final";
    QTest::addRow("empty token vanishes") << "a[]b" << "" << 1 << "ab";
    QTest::addRow("unknown token vanishes") << "x[COUNTER]y" << "" << 1 << "xy";
    QTest::addRow("blank inside brackets") << "[ NAME]" << "" << 1 << "";
    QTest::addRow("trailing blank inside brackets") << "[NAME ]" << "" << 1 << "";
    QTest::addRow("doubled brackets") << "[[NAME]]" << "" << 1 << "]";
    QTest::addRow("stray closing bracket") << "report]" << "" << 1 << "report]";
    QTest::addRow("unclosed token at end") << "pre[NAME" << "" << 1 << "prereport.final";
    QTest::addRow("unclosed empty token") << "pre[" << "" << 1 << "pre";
    QTest::addRow("page 10 has no leading zero") << "p[PAGE]" << "" << 10 << "p10";
    QTest::addRow("literal characters kept") << "a/b\\c:*?" << "" << 7 << "a/b\\c:*?";
    QTest::addRow("modified date and time") << "[MDATE]_[MTIME]" << "" << 1 << "Sat_December_5_2026_09_05";
    QTest::addRow("size") << "[FILESIZE]" << "" << 1 << "2 KB";
    QTest::addRow("folder") << "[FOLDER]" << "" << 1 << "Docs";
    QTest::addRow("folder cut at first dot") << "[FOLDER]" << "/work/Q3.final/a.pdf" << 1 << "Q3";
    QTest::addRow("folder of a file at the root") << "[FOLDER]" << "/a.pdf" << 1 << "";
}

void TestNaming::expandTemplate()
{
    QFETCH(QString, nameTemplate);
    QFETCH(QString, source);
    QFETCH(int, page);
    QFETCH(QString, expected);
    const QFile file(source.isEmpty() ? reportPath : source);
    QCOMPARE(Thumbnailer::expandTemplate(nameTemplate, file, page), expected);
}

void TestNaming::sizeText_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("expected");
    QTest::addRow("zero") << qint64(0) << "0 byte(s)";
    QTest::addRow("locale groups digits") << qint64(1023) << "1,023 byte(s)";
    QTest::addRow("exactly 1 KB") << qint64(1024) << "1 KB";
    QTest::addRow("KB truncated") << qint64(2047) << "1 KB";
    QTest::addRow("just below 1 MB") << qint64(1048575) << "1,023 KB";
    QTest::addRow("exactly 1 MB") << qint64(1048576) << "1.0 MB";
    QTest::addRow("1.5 MB") << qint64(1572864) << "1.5 MB";
    QTest::addRow("exactly 1 GB") << qint64(1073741824) << "1.00 GB";
    QTest::addRow("exactly 1 TB") << qint64(1099511627776) << "1.000 TB";
}

void TestNaming::sizeText()
{
    QFETCH(qint64, size);
    QFETCH(QString, expected);
    // Sparse files: large sizes cost no disk space.
    QFile file(dir.filePath(QStringLiteral("sized.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!file.resize(size))
        QSKIP("the file system cannot hold a sparse file of this size");
    file.close();
    QCOMPARE(Thumbnailer::expandToken(QStringLiteral("FILESIZE"), file, 1), expected);
    file.remove();
}

void TestNaming::clockTokens()
{
    const QFile file(reportPath);
    const QDateTime before = QDateTime::currentDateTime();
    const QString date = Thumbnailer::expandToken(QStringLiteral("date"), file, 1);
    const QString time = Thumbnailer::expandToken(QStringLiteral("TIME"), file, 1);
    const QDateTime after = QDateTime::currentDateTime();
    const QLocale locale;
    QVERIFY2(date == locale.toString(before.date(), QStringLiteral("ddd_MMMM_d_yyyy"))
                 || date == locale.toString(after.date(), QStringLiteral("ddd_MMMM_d_yyyy")),
             qPrintable(date));
    QVERIFY(QRegularExpression(QStringLiteral("^([01]\\d|2[0-3])_[0-5]\\d$")).match(time).hasMatch());
}

// The thumbnail path rule, seen through a producer.
class PathProbe : public Thumbnailer
{
public:
    const QSet<QString>& supportedExtensions() const override { return none; }
    tThumbnailPages generate(QFile&) override { return {}; }
    QSet<QString> none;
};

void TestNaming::thumbnailPath_data()
{
    QTest::addColumn<QString>("outputFolder");
    QTest::addColumn<bool>("useFileFolder");
    QTest::addColumn<QString>("source"); // empty: the report in Docs/
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("expected");
    const QString docs = QFileInfo(reportPath).absolutePath();
    QTest::addRow("bmp") << "/Thumbs" << false << "" << 0 << "/Thumbs/thumbnail_report.final_3.bmp";
    QTest::addRow("jpeg") << "/Thumbs" << false << "" << 1 << "/Thumbs/thumbnail_report.final_3.jpg";
    QTest::addRow("png") << "/Thumbs" << false << "" << 2 << "/Thumbs/thumbnail_report.final_3.png";
    QTest::addRow("out of range is png") << "/Thumbs" << false << "" << 7 << "/Thumbs/thumbnail_report.final_3.png";
    QTest::addRow("negative is png") << "/Thumbs" << false << "" << -1 << "/Thumbs/thumbnail_report.final_3.png";
    QTest::addRow("trailing separator kept") << "/Thumbs/" << false << "" << 2 << "/Thumbs/thumbnail_report.final_3.png";
    QTest::addRow("backslash is not a separator here") << "/T\\" << false << "" << 2 << "/T\\/thumbnail_report.final_3.png";
    QTest::addRow("own folder") << "/Thumbs" << true << "" << 2 << docs + "/thumbnail_report.final_3.png";
    QTest::addRow("own folder at the root") << "/Thumbs" << true << "/report.docx" << 2 << "/thumbnail_report_3.png";
}

void TestNaming::thumbnailPath()
{
    QFETCH(QString, outputFolder);
    QFETCH(bool, useFileFolder);
    QFETCH(QString, source);
    QFETCH(int, format);
    QFETCH(QString, expected);
    ThumbSettings s;
    s.nameFormat = QStringLiteral("thumbnail_[NAME]_[PAGE]");
    s.setOutputFolder(outputFolder);
    s.useFileFolder = useFileFolder;
    s.outputFormat = ThumbSettings::tOutFormat(format);
    PathProbe probe;
    probe.setSettings(s);
    QCOMPARE(probe.thumbnailPath(QFile(source.isEmpty() ? reportPath : source), 3), expected);
}

QTEST_MAIN(TestNaming)
#include "tst_naming.moc"
