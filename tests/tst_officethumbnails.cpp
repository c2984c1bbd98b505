#include "producers/ExcelThumbnailer.h"
#include "FileNameCodec.h"
#include "TestSupport.h"
#include "OfficeFixtures.h"
#include "OfficeInstallation.h"
#include "producers/PowerPointThumbnailer.h"
#include "producers/SharedOffice.h"
#include "engine/ThumbEngine.h"
#include "producers/WordThumbnailer.h"
#include "producers/PDFThumbnailer.h"
#include "producers/TextThumbnailer.h"

#include <QImageReader>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(FileReport::Failure)

// The Word, spreadsheet and presentation producers against a real office.
class TestOfficeThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { if (office) office->release(); }
    void generate_data(); void generate();
    void officeEndsWithEngine();

private:
    QTemporaryDir dir;
    QString out;
    ThumbSettings thumbs; // 120 x 90 into out, pages 1 to 2 unless a row says otherwise
    std::shared_ptr<SharedOffice> office;
};

void TestOfficeThumbnails::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    if (!OfficeInstallation::system().writerAvailable())
        QSKIP("LibreOffice with Writer, Calc and Impress is not installed (scripts/deps.sh installs it)");
    out = dir.filePath(QStringLiteral("thumbs"));
    QVERIFY(dir.isValid() && QDir().mkpath(out));
    thumbs.width = 120;
    thumbs.height = 90;
    thumbs.pageEnd = 2;
    thumbs.nameFormat = QStringLiteral("[NAME]_[PAGE]");
    thumbs.setOutputFolder(out);
    office = std::make_shared<SharedOffice>();
    QVERIFY(OfficeFixtures::writeAll(office->session(), dir.path()));
    QVERIFY(QFile::copy(dir.filePath(QStringLiteral("book.xlsx")), dir.filePath(QStringLiteral("sheets-named.docx"))));
    FileNameCodec::installForLocale(); // names not valid UTF-8, as the program takes them
    QVERIFY(QFile::copy(dir.filePath("doc.docx"), dir.filePath(QFile::decodeName("l\xe9ttre.docx"))) && QFile::copy(dir.filePath("deck.pptx"), dir.filePath(QFile::decodeName("d\xe9" "ck.pptx"))));
    QByteArray noise(4096, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    for (const char* name : {"garbage.docx", "garbage.xlsx", "garbage.pptx"})
        QVERIFY(!writeFile(dir.filePath(QLatin1String(name)), noise).isEmpty() && !writeFile(dir.filePath("empty" + QString(name).mid(7)), {}).isEmpty());
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
    QTest::addColumn<QSize>("slideSize"); // of the 10 x 20 cm slides in a 120 x 90 box; aspect kept unless 120 x 90
    QTest::addColumn<FileReport::Failure>("failure");
    using P = QList<qint32>;
    using F = FileReport;
    const int png = ThumbSettings::OutPng, jpeg = ThumbSettings::OutJpeg, bmp = ThumbSettings::OutBmp;
    QTest::addRow("random bytes as a document") << "garbage.docx" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0 << QSize() << F::Damaged;
    QTest::addRow("random bytes as a spreadsheet") << "garbage.xlsx" << 1 << 1 << png << P{} << "  excelBooks->Open" << 0 << QSize() << F::Damaged;
    QTest::addRow("random bytes as a presentation") << "garbage.pptx" << 1 << 1 << png << P{} << "  ppPresentations->Open" << 0 << QSize(120, 240) << F::Damaged;
    QTest::addRow("empty file as a document") << "empty.docx" << 1 << 1 << png << P{} << "" << 0 << QSize() << F::EmptyFile;
    QTest::addRow("empty file as a presentation") << "empty.pptx" << 1 << 1 << png << P{} << "" << 0 << QSize(120, 240) << F::EmptyFile;
    QTest::addRow("spreadsheet named as a document") << "sheets-named.docx" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0 << QSize() << F::Damaged;
    QTest::addRow("password-protected") << "locked.odt" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0 << QSize() << F::OfficeCannotOpen;
    QTest::addRow("missing file") << "missing.docx" << 1 << 1 << png << P{} << "  wordDocuments->Open" << 0 << QSize() << F::NotFound;
    QTest::addRow("document past the end") << "doc.docx" << 4 << 9 << jpeg << P{4, 5} << "" << 0 << QSize() << F::None;
    QTest::addRow("document entirely past the end") << "doc.docx" << 7 << 9 << png << P{} << "" << 0 << QSize() << F::NoPagesInRange;
    QTest::addRow("PDF named up to the last dot") << "Q3.report #1.docx" << 1 << 1 << bmp << P{1} << "" << 0 << QSize() << F::None;
    QTest::addRow("spreadsheet prints beyond its print areas") << "book.xlsx" << 4 << 4 << png << P{4} << "" << 0 << QSize() << F::None;
    QTest::addRow("jpeg slides 2 to 5 of 3") << "deck.pptx" << 2 << 5 << jpeg << P{2, 3} << "" << 0 << QSize(120, 240) << F::None;
    QTest::addRow("bmp slide at the exact box, aspect not kept") << "deck.pptx" << 3 << 3 << bmp << P{3} << "" << 0 << QSize(120, 90) << F::None;
    QTest::addRow("first slide past the end") << "deck.pptx" << 4 << 6 << png << P{} << "" << 0 << QSize(120, 240) << F::NoPagesInRange;
    QTest::addRow("slides backwards") << "deck.pptx" << 3 << 2 << png << P{} << "" << 0 << QSize(120, 240) << F::NoPagesInRange;
    QTest::addRow("document named in Latin-1") << QFile::decodeName("l\xe9ttre.docx") << 1 << 1 << png << P{1} << "" << 0 << QSize() << F::None;
    QTest::addRow("presentation named in Latin-1") << QFile::decodeName("d\xe9" "ck.pptx") << 1 << 1 << png << P{1} << "" << 0 << QSize(120, 240) << F::None;
    QTest::addRow("slide cut short leaves no file") << "deck.pptx" << 2 << 2 << jpeg << P{} << "ppSlide->Export to" << 300 << QSize(120, 240) << F::CannotWrite;
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
    QFETCH(QSize, slideSize);
    QFETCH(FileReport::Failure, failure);
    if (fileSizeLimit) {
        QVERIFY(office->session().ensureRunning().ok());
        const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        for (qint64 pid : groupMembers(office->session().processId()))
            QCOMPARE(::prlimit(pid_t(pid), RLIMIT_FSIZE, &limit, nullptr), 0);
    }
    const QString suffix = QFileInfo(file).suffix();
    std::unique_ptr<Thumbnailer> producer = std::make_unique<WordThumbnailer>(office);
    if (suffix == QLatin1String("xlsx"))
        producer = std::make_unique<ExcelThumbnailer>(office);
    else if (suffix == QLatin1String("pptx"))
        producer = std::make_unique<PowerPointThumbnailer>(office);
    producer->setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
    ThumbSettings settings = thumbs;
    settings.pageStart = first;
    settings.pageEnd = last;
    settings.outputFormat = ThumbSettings::tOutFormat(format);
    settings.keepAspectRatio = slideSize != QSize(120, 90);
    producer->setSettings(settings);
    QVERIFY(QDir(out).removeRecursively() && QDir().mkpath(out));
    QFile source(dir.filePath(file));
    LogCapture log;
    const Thumbnailer::tThumbnailPages result = producer->generate(source);
    if (fileSizeLimit)
        office->release(); // the next row gets an office without the limit
    QCOMPARE(result.keys(), pages);
    QCOMPARE(producer->takeFailure(), failure);
    const QString base = QFileInfo(file).completeBaseName();
    const QString extension = Thumbnailer::extensionFor(settings.outputFormat);
    QStringList thumbnails; // these only: no temporary file nor a page left out
    for (qint32 page : pages) {
        thumbnails << QStringLiteral("%1_%2.%3").arg(base).arg(page).arg(extension);
        QCOMPARE(result.value(page), out + QLatin1Char('/') + thumbnails.last());
        QImageReader reader(result.value(page));
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), extension == QLatin1String("jpg") ? QByteArray("jpeg") : extension.toLatin1());
        if (suffix == QLatin1String("pptx"))
            QCOMPARE(reader.size(), slideSize);
        // Made from the document itself, page by page; BMP has no room to say so.
        const QImage made = reader.read();
        const bool bmp = format == ThumbSettings::OutBmp;
        QCOMPARE(made.text("Thumb::URI"), bmp ? QString() : QUrl::fromLocalFile(source.fileName()).toString(QUrl::FullyEncoded));
        QCOMPARE(made.text("X-Miravel::Settings"), bmp ? QString() : QString("size=120x90 aspect=%1 format=%2 pages=%3-%4 page=%5").arg(settings.keepAspectRatio ? "keep" : "stretch", extension).arg(first).arg(last).arg(page));
    }
    QCOMPARE(QDir(out).entryList(QDir::Files), thumbnails);
    const QStringList errors = log.errors(); // when nothing is made: the failure line, then the empty result
    QVERIFY2(pages.isEmpty() ? errors.size() == (errorLine.isEmpty() ? 1 : 2) && errors.first().contains(errorLine)
                 && errors.last().contains(QStringLiteral("  pages.count() == 0")) : errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    if (pages.isEmpty() || suffix == QLatin1String("pptx"))
        return;
    QProcess tool; // the PDF starts at the first chosen page
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-l"), QStringLiteral("1"), Thumbnailer::workArea() + base + QStringLiteral(".pdf"), QStringLiteral("-")});
    QVERIFY(tool.waitForFinished(30000) && QString::fromUtf8(tool.readAllStandardOutput()).simplified().split(QLatin1Char(' ')).contains(QString::number(first)));
}

void TestOfficeThumbnails::officeEndsWithEngine()
{
    // An office that cannot start is told as such.
    WordThumbnailer orphan(std::make_shared<SharedOffice>(dir.filePath(QStringLiteral("no-office"))));
    QFile doc(dir.filePath(QStringLiteral("doc.docx")));
    QVERIFY(orphan.generate(doc).isEmpty());
    QCOMPARE(orphan.takeFailure(), FileReport::OfficeUnavailable);
    // A stop that comes before the office's session holds for the session made after it.
    SharedOffice stopped;
    stopped.abort();
    QVERIFY(!stopped.session().ensureRunning().ok());
    // The engine's producers share one office, made and ended on the worker thread.
    auto shared = std::make_shared<SharedOffice>();
    ThumbEngine engine({{Word, new WordThumbnailer(shared)},
                        {Excel, new ExcelThumbnailer(shared)},
                        {PowerPoint, new PowerPointThumbnailer(shared)}, {Pdf, new PDFThumbnailer}, {Text, new TextThumbnailer}});
    engine.setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
    QList<ThumbEngine::ThumbnailFiles> generated;
    QList<FileReport> reports;
    qint64 officeProcess = 0;
    // On the worker thread, which the quit ends.
    connect(&engine, &ThumbEngine::sigGenerated, &engine, [&](const ThumbEngine::ThumbnailFiles& files) { generated << files; }, Qt::DirectConnection);
    connect(&engine, &ThumbEngine::sigFileDone, &engine, [&](const FileReport& report) { officeProcess = shared->session().processId(); reports << report; }, Qt::DirectConnection);
    QSignalSpy done(&engine, &ThumbEngine::sigDone);
    engine.start();
    // No office document among the files, an empty one aside: no office, whatever the suffixes allow.
    ThumbJob job;
    job.extensions = QStringList{"docx", "xlsx", "pptx"};
    job.paths = QStringList{dir.filePath(QStringLiteral("empty.docx")), dir.filePath(QStringLiteral("book.fods"))};
    engine.startJob(job);
    QVERIFY(done.wait(60000));
    QCOMPARE(officeProcess, 0);
    // Sources of one name: the later ones' thumbnails are named apart, and say so; every one is on disk.
    QPdfWriter deck(dir.filePath(QStringLiteral("deck.pdf")));
    QVERIFY(QPainter(&deck).isActive() && !writeFile(dir.filePath(QStringLiteral("doc.txt")), "text").isEmpty());
    QVERIFY(QDir(out).removeRecursively() && QDir().mkpath(out));
    reports.clear();
    job.paths = QStringList{"doc.docx", "doc.txt", "book.xlsx", "deck.pptx", "deck.pdf"}.replaceInStrings(QRegularExpression("^"), dir.path() + '/');
    for (qint32 family = Excel; family <= Text; ++family)
        job.settings.insert(family, thumbs);
    engine.startJob(job);
    QVERIFY(done.wait(120000));
    QCOMPARE(generated.size(), 5);
    QStringList made, clashes;
    for (const FileReport& report : qAsConst(reports)) {
        made += report.pages.values();
        clashes << QFileInfo(report.source).fileName() + ":" + QStringList(report.nameClashes).replaceInStrings(dir.path() + '/', "").join(',');
    }
    QCOMPARE(clashes, QStringList({"doc.docx:", "doc.txt:doc.docx", "book.xlsx:", "deck.pptx:", "deck.pdf:deck.pptx"}));
    QCOMPARE(made.filter("-2.png").replaceInStrings(out + '/', ""), QStringList({"doc_1-2.png", "deck_1-2.png"}));
    QCOMPARE(QDir(out).entryList(QDir::Files).size(), made.size());
    QVERIFY(!groupMembers(officeProcess).isEmpty());
    // An office that hangs does not hold the quit up: it is ended at once, nothing more is
    // converted, and the job ends after the file in hand.
    ::kill(-static_cast<pid_t>(officeProcess), SIGSTOP);
    QSignalSpy status(&engine, &ThumbEngine::sigStatus);
    job.paths.removeLast();
    engine.startJob(job);
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 10000); // the count, then the file in hand
    engine.quit();
    QVERIFY(groupMembers(officeProcess).isEmpty()); // ended on quit, not at some later exit
    QCOMPARE(generated.size(), 5);
    QCOMPARE(status.count(), 2);
}

QTEST_MAIN(TestOfficeThumbnails)
#include "tst_officethumbnails.moc"
