#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeConverter.h"
#include "OfficeDocument.h"
#include "OfficeInstallation.h"
#include "OfficeSession.h"
#include "OfficeFixtures.h"
#include "ProcessGroups.h"

#include <QImageReader>
#include <QtTest>
#include <csignal>
#include <cstdio>

namespace {

// The text of each page of a PDF (pdftotext ends each with a form feed).
QStringList pdfPages(const QString& pdf)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    tool.waitForFinished(30000);
    QStringList pages = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\f'));
    pages.removeLast(); // what follows the last form feed
    return pages;
}

} // namespace

class tst_OfficeAutomation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { document.reset(); application.reset(); }
    void exportPdf_data(); void exportPdf();
    void openFails_data(); void openFails();
    void exportSlide_data(); void exportSlide();
    void quitClosesDocuments();
    void startFailsWithoutOffice();
    void officeEndsWithKilledProgram();
    // These replace the office process; they run last.
    void replacesLostProcess_data(); void replacesLostProcess();
    void sessionEndEndsProcess();

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    // Opens a file through a fresh application; false when the office cannot be started.
    bool open(const QString& name)
    {
        cleanup();
        if ((application = OfficeApplication::start(*session)))
            document = application->documents().open(path(name));
        return bool(application);
    }

    QTemporaryDir dir;
    std::unique_ptr<OfficeSession> session;
    std::unique_ptr<OfficeApplication> application;
    std::unique_ptr<OfficeDocument> document;
};

void tst_OfficeAutomation::initTestCase()
{
    using namespace OfficeFixtures;
    QStandardPaths::setTestModeEnabled(true);
    const OfficeInstallation& office = OfficeInstallation::system();
    if (!office.writerAvailable() || !office.calcAvailable() || !office.impressAvailable())
        QSKIP("LibreOffice with Writer, Calc and Impress is not installed");
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(path(QStringLiteral("doc.fodt")), textDocument()));
    QVERIFY(writeFile(path(QStringLiteral("book.fods")), spreadsheet()));
    QVERIFY(writeFile(path(QStringLiteral("deck.fodp")), presentation()));
    session = std::make_unique<OfficeSession>();
    using Format = OfficeConverter::Format;
    const struct { const char* source; QString target; Format format; const char* password; } conversions[] = {
        {"doc.fodt", QStringLiteral("doc.docx"), Format::Docx, nullptr},
        {"doc.fodt", QStringLiteral("doc.doc"), Format::Doc, nullptr},
        {"doc.fodt", QStringLiteral("Q3 r\u00e9port #1.docx"), Format::Docx, nullptr},
        {"doc.fodt", QStringLiteral("locked.odt"), Format::Odt, "secret"},
        {"book.fods", QStringLiteral("book.xlsx"), Format::Xlsx, nullptr},
        {"deck.fodp", QStringLiteral("deck.pptx"), Format::Pptx, nullptr},
    };
    for (const auto& c : conversions)
        QVERIFY2(OfficeConverter::convert(*session, path(QLatin1String(c.source)), path(c.target), c.format,
                                          QLatin1String(c.password)),
                 qPrintable(session->lastError()));
}

void tst_OfficeAutomation::exportPdf_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("ignoreAreas");
    QTest::addColumn<int>("pageCount"); // of the whole document
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QStringList>("pages"); // a line on each exported page; none: no PDF
    using L = QStringList;
    QTest::addRow("document pages 2 to 3") << "doc.docx" << false << 5 << 2 << 3 << L{"2", "3"};
    QTest::addRow("document range running past the end") << "doc.docx" << false << 5 << 4 << 9 << L{"4", "5"};
    QTest::addRow("document range past the end") << "doc.docx" << false << 5 << 6 << 8 << L();
    QTest::addRow("document range reversed") << "doc.docx" << false << 5 << 3 << 2 << L();
    QTest::addRow("word 97 document") << "doc.doc" << false << 5 << 1 << 2 << L{"1", "2"};
    QTest::addRow("flat text document, all pages") << "doc.fodt" << false << 5 << 1 << 5 << L{"1", "2", "3", "4", "5"};
    QTest::addRow("path with blanks, accent and hash") << "Q3 r\u00e9port #1.docx" << false << 5 << 3 << 3 << L{"3"};
    QTest::addRow("spreadsheet pages across sheets") << "book.xlsx" << false << 3 << 2 << 3 << L{"2", "3"};
    QTest::addRow("spreadsheet range running past the end") << "book.xlsx" << false << 3 << 3 << 10 << L{"3"};
    QTest::addRow("spreadsheet range past the end") << "book.xlsx" << false << 3 << 4 << 4 << L();
    QTest::addRow("print areas honoured") << "book.xlsx" << false << 3 << 1 << 99 << L{"1", "2", "3"};
    QTest::addRow("print areas ignored") << "book.xlsx" << true << 4 << 1 << 99 << L{"1", "2", "3", "4"};
    QTest::addRow("presentation slides as pages") << "deck.pptx" << false << 3 << 2 << 3 << L{"2", "3"};
}

void tst_OfficeAutomation::exportPdf()
{
    QFETCH(QString, file);
    QFETCH(bool, ignoreAreas);
    QFETCH(int, pageCount);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QStringList, pages);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QVERIFY(open(file));
    using Kind = OfficeDocument::Kind;
    const Kind kind = file.endsWith(QLatin1String(".xlsx")) ? Kind::Spreadsheet
                      : file.endsWith(QLatin1String(".pptx")) ? Kind::Presentation : Kind::Text;
    QCOMPARE(document->kind(), kind);
    QCOMPARE(document->slideCount(), kind == Kind::Presentation ? 3 : 0);
    if (ignoreAreas)
        QVERIFY(document->ignorePrintAreas());
    QCOMPARE(document->pageCount(), pageCount);
    const QString pdf = path(QStringLiteral("export.pdf"));
    QFile::remove(pdf);
    QCOMPARE(document->exportPdf(pdf, first, last), !pages.isEmpty());
    QCOMPARE(QFile::exists(pdf), !pages.isEmpty());
    const QStringList exported = pdfPages(pdf);
    QCOMPARE(exported.size(), pages.size());
    for (int i = 0; i < pages.size(); ++i) // on a line of its own: spreadsheet footers read "Page 2"
        QVERIFY2(exported.at(i).contains(QRegularExpression("(^|\\n)\\s*" + pages.at(i) + "\\s*(\\n|$)")),
                 qPrintable(exported.at(i)));
}

void tst_OfficeAutomation::openFails_data()
{
    QTest::addColumn<QString>("file");
    QTest::addRow("missing file") << "missing.docx";
    QTest::addRow("folder") << "";
    QTest::addRow("password-protected document") << "locked.odt";
}

void tst_OfficeAutomation::openFails()
{
    QFETCH(QString, file);
    QVERIFY(session->ensureRunning());
    const qint64 office = session->processId();
    try { open(file); QFAIL("the document opened"); }
    catch (const OfficeAutomationError& error) { QVERIFY(!error.message().isEmpty()); }
    QCOMPARE(session->processId(), office); // no call ran into its time limit
}

void tst_OfficeAutomation::exportSlide_data()
{
    QTest::addColumn<int>("slide");
    QTest::addColumn<QString>("mediaType");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format"); // empty: nothing exported
    QTest::addRow("png at the requested size") << 2 << "image/png" << QSize(300, 200) << QByteArray("png");
    QTest::addRow("jpeg at the requested size") << 3 << "image/jpeg" << QSize(320, 240) << QByteArray("jpeg");
    QTest::addRow("size against the slide's proportions") << 1 << "image/png" << QSize(120, 400) << QByteArray("png");
    QTest::addRow("slide past the end") << 4 << "image/png" << QSize(300, 200) << QByteArray();
    QTest::addRow("slide zero") << 0 << "image/png" << QSize(300, 200) << QByteArray();
    QTest::addRow("bitmap refused") << 1 << "image/bmp" << QSize(300, 200) << QByteArray();
}

void tst_OfficeAutomation::exportSlide()
{
    QFETCH(int, slide);
    QFETCH(QString, mediaType);
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    QVERIFY(open(QStringLiteral("deck.pptx")));
    const QString image = path(QStringLiteral("slide.img"));
    QFile::remove(image);
    QCOMPARE(document->exportSlide(slide, image, mediaType, size.width(), size.height()), !format.isEmpty());
    QCOMPARE(QFile::exists(image), !format.isEmpty());
    QImageReader reader(image);
    QCOMPARE(reader.format(), format);
    if (!format.isEmpty())
        QCOMPARE(reader.size(), size);
}

void tst_OfficeAutomation::quitClosesDocuments()
{
    QVERIFY(open(QStringLiteral("doc.docx")));
    const qint64 office = session->processId();
    QVERIFY(document->isOpen());
    application->quit();
    QVERIFY(!document->isOpen());
    QVERIFY(!document->exportPdf(path(QStringLiteral("closed.pdf")), 1, 1));
    QCOMPARE(session->processId(), office); // the office stays up for the next document
}

void tst_OfficeAutomation::startFailsWithoutOffice()
{
    OfficeSession nowhere(path(QStringLiteral("no-office")));
    QVERIFY(!OfficeApplication::start(nowhere));
    QVERIFY(!nowhere.lastError().isEmpty());
    QCOMPARE(nowhere.processId(), qint64(0));
}

void tst_OfficeAutomation::officeEndsWithKilledProgram()
{
    QProcess program; // this test re-executed as a program that starts an office
    program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--office-only")});
    QVERIFY(program.waitForReadyRead(120000));
    const qint64 office = program.readLine().trimmed().toLongLong();
    QVERIFY(groupAlive(office));
    const QStringList areas = QDir::temp().entryList({QStringLiteral("miravel-office-%1-*").arg(program.processId())}, QDir::Dirs);
    QCOMPARE(areas.size(), 1);
    ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
    QVERIFY(program.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(office), 10000);
    // The next office's start removes what the killed program left behind.
    OfficeSession next;
    QVERIFY(next.ensureRunning());
    QVERIFY(!QDir::temp().exists(areas.first()));
}

void tst_OfficeAutomation::replacesLostProcess_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addRow("process killed from outside") << "killed";
    QTest::addRow("opening overruns the time limit") << "open";
    QTest::addRow("export overruns the time limit") << "export";
    QTest::addRow("export passes the memory limit") << "memory";
    QTest::addRow("process replaced after its documents") << "documents";
}

void tst_OfficeAutomation::replacesLostProcess()
{
    QFETCH(QString, fault);
    QVERIFY(session->ensureRunning());
    const qint64 lost = session->processId();
    QVERIFY(lost > 0);
    const QString pdf = path(QStringLiteral("overrun.pdf"));
    if (fault == QLatin1String("killed")) {
        ::kill(-static_cast<pid_t>(lost), SIGKILL);
    } else if (fault == QLatin1String("documents")) {
        session->setDocumentsPerProcess(1); // this process has served one already
        QVERIFY(open(QStringLiteral("doc.docx")));
        session->setDocumentsPerProcess(OfficeSession::DefaultDocumentsPerProcess);
        cleanup();
    } else if (fault == QLatin1String("memory")) {
        QVERIFY(open(QStringLiteral("doc.docx")));
        session->setMemoryLimitMiB(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("took more than 1 MiB of memory; the office process was ended"));
        QVERIFY(!document->exportPdf(pdf, 1, 5));
        session->setMemoryLimitMiB(OfficeSession::DefaultMemoryLimitMiB);
        cleanup();
    } else {
        QVERIFY(open(QStringLiteral("doc.docx")));
        const int callTimeoutMs = session->callTimeoutMs();
        session->setCallTimeoutMs(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("took longer than 1 ms; the office process was ended"));
        if (fault == QLatin1String("export"))
            QVERIFY(!document->exportPdf(pdf, 1, 5));
        else
            QVERIFY_EXCEPTION_THROWN(application->documents().open(path("doc.docx")), OfficeAutomationError);
        session->setCallTimeoutMs(callTimeoutMs);
        cleanup();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(lost), 10000);

    // A fresh process serves the next document, also at the path an overrun wrote to.
    QVERIFY2(open(QStringLiteral("doc.docx")), qPrintable(session->lastError()));
    QVERIFY(session->processId() > 0 && session->processId() != lost);
    QCOMPARE(document->pageCount(), 5);
    QVERIFY2(document->exportPdf(pdf, 1, 2), qPrintable(session->lastError()));
}

void tst_OfficeAutomation::sessionEndEndsProcess()
{
    QVERIFY(session->ensureRunning());
    const qint64 office = session->processId();
    QVERIFY(groupAlive(office));
    session.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(office), 10000);
}

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--office-only") == 0) {
        QCoreApplication app(argc, argv);
        OfficeSession session;
        if (!session.ensureRunning())
            return 1;
        std::printf("%lld\n", session.processId());
        std::fflush(stdout);
        return app.exec();
    }
    QGuiApplication app(argc, argv);
    tst_OfficeAutomation test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_officeautomation.moc"
