#include "ExcelThumbnailer.h"
#include "LogCapture.h"
#include "OfficeFixtures.h"
#include "ProcessGroups.h"
#include "OfficeInstallation.h"
#include "OfficeSession.h"
#include "PowerPointThumbnailer.h"
#include "SharedOffice.h"
#include "ThumbEngine.h"
#include "WordThumbnailer.h"

#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

using namespace OfficeFixtures;

namespace {

// Text of one page of a PDF, by poppler-utils.
QString pdfPageText(const QString& pdf, int page)
{
    QProcess tool;
    const QString n = QString::number(page);
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), n, QStringLiteral("-l"), n, pdf, QStringLiteral("-")});
    return tool.waitForFinished(30000) ? QString::fromUtf8(tool.readAllStandardOutput()).simplified() : QString();
}

template <typename Producer>
std::unique_ptr<Producer> producer(const std::shared_ptr<SharedOffice>& office, const ThumbSettings& s)
{
    auto p = std::make_unique<Producer>(office);
    p->setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
    p->setSettings(s);
    return p;
}

} // namespace

// The Word, spreadsheet and presentation producers against a real office.
class TestOfficeThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void availability();
    void pageRanges_data();
    void pageRanges();
    void workingFolderPdf();
    void unopenable_data();
    void unopenable();
    void slides_data();
    void slides();
    void overrunKilled();
    void officeEndsWithEngine();

private:
    ThumbSettings settings(int first, int last, ThumbSettings::tOutFormat format = ThumbSettings::OutPng) const;
    QString fixture(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QString out;
    std::shared_ptr<SharedOffice> office;
};

void TestOfficeThumbnails::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir.isValid());
    if (!OfficeInstallation::system().writerAvailable())
        QSKIP("LibreOffice with Writer, Calc and Impress is not installed (scripts/deps.sh installs it)");
    out = dir.filePath(QStringLiteral("thumbs"));
    QVERIFY(QDir().mkpath(out));
    office = std::make_shared<SharedOffice>();

    QVERIFY(writeAll(office->session(), dir.path()));
    QVERIFY(QFile::copy(fixture(QStringLiteral("book.xlsx")), fixture(QStringLiteral("sheets-named.docx"))));
    std::vector<quint32> noise(1024);
    QRandomGenerator(7).fillRange(noise.data(), noise.size());
    for (const char* name : {"garbage.docx", "garbage.xlsx", "garbage.pptx"}) {
        QFile garbage(fixture(QLatin1String(name)));
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(reinterpret_cast<const char*>(noise.data()), noise.size() * 4) > 0);
    }
}

void TestOfficeThumbnails::cleanupTestCase()
{
    if (office)
        office->release();
}

ThumbSettings TestOfficeThumbnails::settings(int first, int last, ThumbSettings::tOutFormat format) const
{
    ThumbSettings s;
    s.width = 120;
    s.height = 90;
    s.pageStart = first;
    s.pageEnd = last;
    s.outputFormat = format;
    s.nameFormat = QStringLiteral("[NAME]_[PAGE]");
    s.setOutputFolder(out);
    return s;
}

void TestOfficeThumbnails::availability()
{
    const OfficeInstallation present = OfficeInstallation::probe(OfficeInstallation::defaultProgramDir());
    QVERIFY(present.majorVersion() >= OfficeInstallation::MinimumMajorVersion);
    QVERIFY(present.writerAvailable() && present.calcAvailable() && present.impressAvailable());
    QVERIFY(isWordAvailable() && isExcelAvailable() && isPowerPointAvailable());

    const OfficeInstallation hidden = OfficeInstallation::probe(dir.filePath(QStringLiteral("no-office/program")));
    QCOMPARE(hidden.majorVersion(), 0);
    QVERIFY(!hidden.writerAvailable() && !hidden.calcAvailable() && !hidden.impressAvailable());
}

void TestOfficeThumbnails::pageRanges_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<qint32>>("pages");
    QTest::addColumn<QString>("firstPageText"); // of the exported PDF
    QTest::addRow("document 2 to 3 of 5") << "doc.docx" << 2 << 3 << QList<qint32>{2, 3} << "2";
    QTest::addRow("document past the end") << "doc.docx" << 4 << 9 << QList<qint32>{4, 5} << "4";
    QTest::addRow("document entirely past the end") << "doc.docx" << 7 << 9 << QList<qint32>{} << QString();
    QTest::addRow("spreadsheet 2 to 3") << "book.xlsx" << 2 << 3 << QList<qint32>{2, 3} << "2";
    QTest::addRow("spreadsheet prints beyond its print areas") << "book.xlsx" << 4 << 4 << QList<qint32>{4} << "4";
}

void TestOfficeThumbnails::pageRanges()
{
    QFETCH(QString, file);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QList<qint32>, pages);
    QFETCH(QString, firstPageText);
    std::unique_ptr<Thumbnailer> p;
    if (file.endsWith(QLatin1String(".docx")))
        p = producer<WordThumbnailer>(office, settings(first, last));
    else
        p = producer<ExcelThumbnailer>(office, settings(first, last));
    QFile source(fixture(file));
    LogCapture log;
    const Thumbnailer::tThumbnailPages result = p->generate(source);
    QCOMPARE(result.keys(), pages);
    for (auto it = result.cbegin(); it != result.cend(); ++it) {
        QCOMPARE(it.value(), out + QStringLiteral("/%1_%2.png").arg(QFileInfo(file).completeBaseName()).arg(it.key()));
        QVERIFY(!QImage(it.value()).isNull());
    }
    const QString pdf = Thumbnailer::workArea() + QFileInfo(file).completeBaseName() + QStringLiteral(".pdf");
    if (pages.isEmpty()) {
        // Nothing to export: no export failure either, just the empty result.
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(log.errors().size(), 1);
        QVERIFY(log.errors().first().contains(QStringLiteral("  pages.count() == 0")));
        return;
    }
    // The PDF holds only the chosen pages; its first page is the source's page `first`
    // (spreadsheet pages also carry the sheet's name and a page footer).
    const QStringList words = pdfPageText(pdf, 1).split(QLatin1Char(' '));
    QVERIFY2(words.contains(firstPageText), qPrintable(words.join(QLatin1Char(' '))));
    QVERIFY(log.errors().isEmpty());
}

void TestOfficeThumbnails::workingFolderPdf()
{
    const QString stale = Thumbnailer::workArea() + QStringLiteral("earlier.pdf");
    QVERIFY(writeFile(stale, QStringLiteral("%PDF-1.4")));
    auto word = producer<WordThumbnailer>(office, settings(1, 1));
    QFile source(fixture(QStringLiteral("Q3.report #1.docx")));
    QCOMPARE(word->generate(source).keys(), QList<qint32>{1});
    QVERIFY(!QFile::exists(stale));
    QVERIFY(QFile::exists(Thumbnailer::workArea() + QStringLiteral("Q3.report #1.pdf")));
    QVERIFY(QFile::exists(out + QStringLiteral("/Q3.report #1_1.png")));
}

void TestOfficeThumbnails::unopenable_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("openLine");
    QTest::addColumn<QString>("next"); // of the same family, converted right after
    QTest::addRow("random bytes as a document") << "garbage.docx" << "  wordDocuments->Open" << "doc.docx";
    QTest::addRow("random bytes as a spreadsheet") << "garbage.xlsx" << "  excelBooks->Open" << "book.xlsx";
    QTest::addRow("random bytes as a presentation") << "garbage.pptx" << "  ppPresentations->Open" << "deck.pptx";
    QTest::addRow("spreadsheet named as a document") << "sheets-named.docx" << "  wordDocuments->Open" << "doc.docx";
    QTest::addRow("password-protected") << "locked.odt" << "  wordDocuments->Open" << "doc.docx";
}

void TestOfficeThumbnails::unopenable()
{
    QFETCH(QString, file);
    QFETCH(QString, openLine);
    QFETCH(QString, next);
    std::unique_ptr<Thumbnailer> p;
    if (next.endsWith(QLatin1String(".xlsx")))
        p = producer<ExcelThumbnailer>(office, settings(1, 1));
    else if (next.endsWith(QLatin1String(".pptx")))
        p = producer<PowerPointThumbnailer>(office, settings(1, 1));
    else
        p = producer<WordThumbnailer>(office, settings(1, 1));
    QFile source(fixture(file));
    {
        LogCapture log;
        QVERIFY(p->generate(source).isEmpty());
        const QStringList errors = log.errors();
        QCOMPARE(errors.size(), 2);
        QVERIFY(errors.at(0).contains(openLine));
        QVERIFY(errors.at(0).contains(source.fileName()));
        QVERIFY(errors.at(1).contains(QStringLiteral("  pages.count() == 0")));
    }
    QVERIFY(QDir(out).entryList({QFileInfo(file).completeBaseName() + QLatin1Char('*')}).isEmpty());
    QFile good(fixture(next));
    QCOMPARE(p->generate(good).keys(), QList<qint32>{1});
}

void TestOfficeThumbnails::slides_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("format");
    QTest::addColumn<QList<qint32>>("pages");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("fileSizeLimit"); // of the office's writes, as a full disk would cut them
    QTest::addRow("slides 2 to 5 of 3") << 2 << 5 << int(ThumbSettings::OutPng) << QList<qint32>{2, 3} << QByteArray("png") << 0;
    QTest::addRow("jpeg at the exact size") << 1 << 1 << int(ThumbSettings::OutJpeg) << QList<qint32>{1} << QByteArray("jpeg") << 0;
    QTest::addRow("bmp at the exact size") << 3 << 3 << int(ThumbSettings::OutBmp) << QList<qint32>{3} << QByteArray("bmp") << 0;
    QTest::addRow("first past the end") << 4 << 6 << int(ThumbSettings::OutPng) << QList<qint32>{} << QByteArray() << 0;
    QTest::addRow("export cut short leaves no file") << 2 << 2 << int(ThumbSettings::OutJpeg) << QList<qint32>{} << QByteArray() << 300;
}

void TestOfficeThumbnails::slides()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, format);
    QFETCH(QList<qint32>, pages);
    QFETCH(QByteArray, written);
    QFETCH(int, fileSizeLimit);
    if (fileSizeLimit) {
        QVERIFY(office->session().ensureRunning().ok());
        const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        for (qint64 pid : groupMembers(office->session().processId()))
            QCOMPARE(::prlimit(pid_t(pid), RLIMIT_FSIZE, &limit, nullptr), 0);
    }
    auto powerPoint = producer<PowerPointThumbnailer>(office, settings(first, last, ThumbSettings::tOutFormat(format)));
    QFile source(fixture(QStringLiteral("deck.pptx")));
    LogCapture log;
    const Thumbnailer::tThumbnailPages result = powerPoint->generate(source);
    QCOMPARE(result.keys(), pages);
    for (auto it = result.cbegin(); it != result.cend(); ++it) {
        QCOMPARE(it.value(), out + QStringLiteral("/deck_%1.%2").arg(it.key()).arg(Thumbnailer::extensionFor(ThumbSettings::tOutFormat(format))));
        QImageReader reader(it.value());
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), written);
        QCOMPARE(reader.size(), QSize(120, 90)); // the box itself, whatever the aspect option
    }
    const QString extension = Thumbnailer::extensionFor(ThumbSettings::tOutFormat(format));
    for (int slide = first; slide <= last; ++slide) {
        if (!pages.contains(slide)) // neither the image nor a temporary file of it
            QVERIFY(QDir(out).entryList({QStringLiteral("deck_%1.%2*").arg(slide).arg(extension)}).isEmpty());
    }
    if (fileSizeLimit)
        office->release(); // the next test gets an office without the limit
    else if (pages.isEmpty())
        QCOMPARE(log.errors().size(), 1);
}

void TestOfficeThumbnails::overrunKilled()
{
    // A fresh office of its own, so the time limit cannot touch the shared one.
    auto own = std::make_shared<SharedOffice>();
    auto word = producer<WordThumbnailer>(own, settings(1, 1));
    QFile source(fixture(QStringLiteral("doc.docx")));
    QVERIFY(own->session().ensureRunning().ok());
    const qint64 first = own->session().processId();
    own->session().setCallTimeoutMs(1);
    {
        LogCapture log;
        QVERIFY(word->generate(source).isEmpty());
        QVERIFY(log.errors().last().contains(QStringLiteral("  pages.count() == 0")));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(first), 15000);
    own->session().setCallTimeoutMs(OfficeSession::DefaultCallTimeoutMs);
    QCOMPARE(word->generate(source).keys(), QList<qint32>{1});
    QVERIFY(own->session().processId() != first);
    own->release();
}

void TestOfficeThumbnails::officeEndsWithEngine()
{
    qRegisterMetaType<ThumbEngine::ThumbStatus>("ThumbEngine::ThumbStatus");
    qRegisterMetaType<ThumbEngine::SigStatus>("ThumbEngine::SigStatus");
    qRegisterMetaType<ThumbEngine::ThumbnailFiles>("ThumbEngine::ThumbnailFiles");
    // The engine's producers share one office, made and ended on the worker thread.
    auto shared = std::make_shared<SharedOffice>();
    ThumbEngine engine({{Word, new WordThumbnailer(shared)},
                        {Excel, new ExcelThumbnailer(shared)},
                        {PowerPoint, new PowerPointThumbnailer(shared)}});
    engine.setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
    QList<ThumbEngine::ThumbnailFiles> generated;
    qint64 officeProcess = 0;
    connect(&engine, &ThumbEngine::sigGenerated, this, [&](const ThumbEngine::ThumbnailFiles& f) { generated << f; });
    connect(&engine, &ThumbEngine::sigGenerated, &engine, [&] { officeProcess = shared->session().processId(); }, Qt::DirectConnection);
    QSignalSpy done(&engine, &ThumbEngine::sigDone);
    engine.start();
    ThumbJob job;
    job.paths = QStringList{fixture(QStringLiteral("doc.docx")), fixture(QStringLiteral("book.xlsx")), fixture(QStringLiteral("deck.pptx"))};
    for (qint32 family = Excel; family <= Text; ++family)
        job.settings.insert(family, settings(1, 2));
    engine.startJob(job);
    QVERIFY(done.wait(120000));
    QCOMPARE(generated.size(), 3);
    for (const auto& files : qAsConst(generated))
        QCOMPARE(files.first().size(), 2);
    QVERIFY(groupAlive(officeProcess));
    // An office that hangs does not hold the quit up: it is ended at once, nothing more is
    // converted, and the job ends after the file in hand.
    ::kill(-static_cast<pid_t>(officeProcess), SIGSTOP);
    QSignalSpy status(&engine, &ThumbEngine::sigStatus);
    job.paths.removeLast();
    engine.startJob(job);
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 10000); // the count, then the file in hand
    engine.quit();
    QVERIFY(!groupAlive(officeProcess)); // ended on quit, not at some later exit
    QCoreApplication::processEvents();
    QCOMPARE(generated.size(), 3);
    QCOMPARE(status.count(), 2);
}

QTEST_MAIN(TestOfficeThumbnails)
#include "tst_officethumbnails.moc"
