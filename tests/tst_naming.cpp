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
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Q3.final")));
    reportPath = dir.filePath(QStringLiteral("Q3.final/report.final.docx"));
    QFile report(reportPath);
    QVERIFY(report.open(QIODevice::WriteOnly));
    report.write(QByteArray(3000, 'x'));
    // Saturday, 5 December 2026, 9:05 in the morning.
    QVERIFY(report.flush());
    QVERIFY(report.setFileTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5)), QFileDevice::FileModificationTime));
}

void TestNaming::expandTemplate_data()
{
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("expected");
    QTest::addRow("name, page and literal characters") << "a/b:*?[NAME]_[PAGE]" << 3 << "a/b:*?report.final_3";
    QTest::addRow("tokens in any case") << "[name]_[PaGe]" << 10 << "report.final_10";
    QTest::addRow("empty and unknown tokens vanish") << "a[]b[COUNTER]c" << 1 << "abc";
    QTest::addRow("doubled brackets") << "[[NAME]]" << 1 << "]";
    QTest::addRow("stray closing bracket") << "report]" << 1 << "report]";
    QTest::addRow("unclosed token at end") << "pre[NAME" << 1 << "prereport.final";
    QTest::addRow("modified date and time") << "[MDATE]_[MTIME]" << 1 << "Sat_December_5_2026_09_05";
    QTest::addRow("size") << "[FILESIZE]" << 1 << "2 KB";
    QTest::addRow("folder cut at first dot") << "[FOLDER]" << 1 << "Q3";
}

void TestNaming::expandTemplate()
{
    QFETCH(QString, nameTemplate);
    QFETCH(int, page);
    QFETCH(QString, expected);
    QCOMPARE(Thumbnailer::expandTemplate(nameTemplate, QFile(reportPath), page), expected);
}

void TestNaming::sizeText_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("expected");
    QTest::addRow("locale groups digits") << qint64(1023) << "1,023 byte(s)";
    QTest::addRow("exactly 1 KB") << qint64(1024) << "1 KB";
    QTest::addRow("just below 1 MB") << qint64(1048575) << "1,023 KB";
    QTest::addRow("exactly 1 MB") << qint64(1048576) << "1.0 MB";
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
    QTest::addColumn<QString>("source"); // empty: the report
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("expected");
    const QString own = QFileInfo(reportPath).absolutePath();
    QTest::addRow("bmp") << "/Thumbs" << false << "" << 0 << "/Thumbs/report.final_3.bmp";
    QTest::addRow("jpeg, trailing separator kept") << "/Thumbs/" << false << "" << 1 << "/Thumbs/report.final_3.jpg";
    QTest::addRow("out of range is png") << "/Thumbs" << false << "" << 7 << "/Thumbs/report.final_3.png";
    QTest::addRow("own folder") << "/Thumbs" << true << "" << 2 << own + "/report.final_3.png";
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
    PathProbe probe;
    probe.setSettings(s);
    QCOMPARE(probe.thumbnailPath(QFile(source.isEmpty() ? reportPath : source), 3), expected);
}

QTEST_MAIN(TestNaming)
#include "tst_naming.moc"
