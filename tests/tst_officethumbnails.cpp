#include "ExcelThumbnailer.h"
#include "TestSupport.h"
#include "OfficeFixtures.h"
#include "OfficeInstallation.h"
#include "PowerPointThumbnailer.h"
#include "SharedOffice.h"
#include "ThumbEngine.h"
#include "WordThumbnailer.h"

#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

// The Word, spreadsheet and presentation producers against a real office.
class TestOfficeThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { if (office) office->release(); }
    void generate_data();
    void generate();
    void officeEndsWithEngine();

private:
    ThumbSettings settings(int first, int last, int format = ThumbSettings::OutPng) const
    {
        ThumbSettings s;
        s.width = 120;
        s.height = 90;
        s.pageStart = first;
        s.pageEnd = last;
        s.outputFormat = ThumbSettings::tOutFormat(format);
        s.nameFormat = QStringLiteral("[NAME]_[PAGE]");
        s.setOutputFolder(out);
        return s;
    }

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
    QVERIFY(OfficeFixtures::writeAll(office->session(), dir.path()));
    QVERIFY(QFile::copy(dir.filePath(QStringLiteral("book.xlsx")), dir.filePath(QStringLiteral("sheets-named.docx"))));
    std::vector<quint32> noise(1024);
    QRandomGenerator(7).fillRange(noise.data(), noise.size());
    for (const char* name : {"garbage.docx", "garbage.xlsx", "garbage.pptx"}) {
        QFile garbage(dir.filePath(QLatin1String(name)));
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(reinterpret_cast<const char*>(noise.data()), noise.size() * 4) > 0);
    }
}

void TestOfficeThumbnails::generate_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("format");
    QTest::addColumn<QList<qint32>>("pages");
    QTest::addColumn<QString>("errorLine"); // logged before "pages.count() == 0" when nothing is made
    QTest::addColumn<int>("fileSizeLimit"); // of the office's writes, as a full disk would cut them
    using P = QList<qint32>;
    const int png = ThumbSettings::OutPng, jpeg = ThumbSettings::OutJpeg, bmp = ThumbSettings::OutBmp;
    QTest::addRow("random bytes as a document") << "garbage.docx" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0;
    QTest::addRow("random bytes as a spreadsheet") << "garbage.xlsx" << 1 << 1 << png << P{} << "  excelBooks->Open" << 0;
    QTest::addRow("random bytes as a presentation") << "garbage.pptx" << 1 << 1 << png << P{} << "  ppPresentations->Open" << 0;
    QTest::addRow("spreadsheet named as a document") << "sheets-named.docx" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0;
    QTest::addRow("password-protected") << "locked.odt" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0;
    QTest::addRow("missing file") << "missing.docx" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0;
    QTest::addRow("document 2 to 3 of 5") << "doc.docx" << 2 << 3 << png << P{2, 3} << "" << 0;
    QTest::addRow("document past the end") << "doc.docx" << 4 << 9 << jpeg << P{4, 5} << "" << 0;
    QTest::addRow("document entirely past the end") << "doc.docx" << 7 << 9 << png << P{} << "" << 0;
    QTest::addRow("PDF named up to the last dot") << "Q3.report #1.docx" << 1 << 1 << bmp << P{1} << "" << 0;
    QTest::addRow("spreadsheet 2 to 3") << "book.xlsx" << 2 << 3 << png << P{2, 3} << "" << 0;
    QTest::addRow("spreadsheet prints beyond its print areas") << "book.xlsx" << 4 << 4 << png << P{4} << "" << 0;
    QTest::addRow("slides 2 to 5 of 3") << "deck.pptx" << 2 << 5 << png << P{2, 3} << "" << 0;
    QTest::addRow("jpeg slide at the exact size") << "deck.pptx" << 1 << 1 << jpeg << P{1} << "" << 0;
    QTest::addRow("bmp slide at the exact size") << "deck.pptx" << 3 << 3 << bmp << P{3} << "" << 0;
    QTest::addRow("first slide past the end") << "deck.pptx" << 4 << 6 << png << P{} << "" << 0;
    QTest::addRow("slide cut short leaves no file") << "deck.pptx" << 2 << 2 << jpeg << P{} << "ppSlide->Export to" << 300;
}

void TestOfficeThumbnails::generate()
{
    QFETCH(QString, file);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, format);
    QFETCH(QList<qint32>, pages);
    QFETCH(QString, errorLine);
    QFETCH(int, fileSizeLimit);
    if (fileSizeLimit) {
        QVERIFY(office->session().ensureRunning().ok());
        const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        for (qint64 pid : groupMembers(office->session().processId()))
            QCOMPARE(::prlimit(pid_t(pid), RLIMIT_FSIZE, &limit, nullptr), 0);
    }
    std::unique_ptr<Thumbnailer> producer;
    const QString suffix = QFileInfo(file).suffix();
    if (suffix == QLatin1String("xlsx"))
        producer = std::make_unique<ExcelThumbnailer>(office);
    else if (suffix == QLatin1String("pptx"))
        producer = std::make_unique<PowerPointThumbnailer>(office);
    else
        producer = std::make_unique<WordThumbnailer>(office);
    producer->setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
    producer->setSettings(settings(first, last, format));
    const QString stale = Thumbnailer::workArea() + QStringLiteral("earlier.pdf");
    QVERIFY(OfficeFixtures::writeFile(stale, QStringLiteral("%PDF-1.4")));
    QFile source(dir.filePath(file));
    LogCapture log;
    const Thumbnailer::tThumbnailPages result = producer->generate(source);
    if (fileSizeLimit)
        office->release(); // the next row gets an office without the limit
    QCOMPARE(result.keys(), pages);
    // Only an opened document or workbook clears the working folder's PDFs before its export.
    QCOMPARE(QFile::exists(stale), suffix == QLatin1String("pptx") || errorLine.contains(QLatin1String("->Open")));
    const QString base = QFileInfo(file).completeBaseName();
    const QString extension = Thumbnailer::extensionFor(ThumbSettings::tOutFormat(format));
    for (int page = first; page <= last; ++page) {
        const QString thumbnail = out + QStringLiteral("/%1_%2.%3").arg(base).arg(page).arg(extension);
        if (!pages.contains(page)) { // neither the image nor a temporary file of it
            QVERIFY(QDir(out).entryList({QFileInfo(thumbnail).fileName() + QLatin1Char('*')}).isEmpty());
            continue;
        }
        QCOMPARE(result.value(page), thumbnail);
        QImageReader reader(thumbnail);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), extension == QLatin1String("jpg") ? QByteArray("jpeg") : extension.toLatin1());
        if (suffix == QLatin1String("pptx")) // the box itself, whatever the aspect option
            QCOMPARE(reader.size(), QSize(120, 90));
    }
    const QString pdf = Thumbnailer::workArea() + base + QStringLiteral(".pdf");
    const QStringList errors = log.errors();
    if (pages.isEmpty()) {
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(errors.size(), errorLine.isEmpty() ? 1 : 2);
        QVERIFY(errors.first().contains(errorLine));
        QVERIFY(errors.last().contains(QStringLiteral("  pages.count() == 0")));
        return;
    }
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    if (suffix != QLatin1String("pptx")) { // the PDF holds the chosen pages only
        QProcess tool;
        tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
        QVERIFY(tool.waitForFinished(30000));
        const QString text = QString::fromUtf8(tool.readAllStandardOutput()).simplified();
        QVERIFY2(text.split(QLatin1Char(' ')).contains(QString::number(first)), qPrintable(text));
    }
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
    job.paths = QStringList{dir.filePath(QStringLiteral("doc.docx")), dir.filePath(QStringLiteral("book.xlsx")), dir.filePath(QStringLiteral("deck.pptx"))};
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
