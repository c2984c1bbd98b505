#include "DeadlineRunner.h"
#include "OfficeDocument.h"
#include "OfficeFixtures.h"
#include "OfficeInstallation.h"

#include <QImageReader>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <future>

// The office layer against a real office, and its deadline runner.
class tst_OfficeAutomation : public QObject
{
    Q_OBJECT

private slots:
    void deadlineRunner_data(); void deadlineRunner();
    void initTestCase();
    void cleanup() { document.reset(); application.reset(); }
    void exportPdf_data(); void exportPdf();
    void exportSlide_data(); void exportSlide();
    void quitClosesDocuments();
    void officeEndsWithKilledProgram();
    void replacesLostProcess_data(); void replacesLostProcess(); // last: they replace the office

private:
    // Opens a file through a fresh application; false when the office cannot be started.
    bool open(const QString& name)
    {
        cleanup();
        if ((application = OfficeApplication::start(*session)))
            document = application->documents().open(dir.filePath(name));
        return bool(application);
    }

    QTemporaryDir dir;
    std::unique_ptr<OfficeSession> session;
    std::unique_ptr<OfficeApplication> application;
    std::unique_ptr<OfficeDocument> document;
};

void tst_OfficeAutomation::deadlineRunner_data()
{
    QTest::addColumn<QString>("work"); // "return", "throw", or "hang" until given up
    QTest::addColumn<QString>("check"); // the check's answer: why to give up
    QTest::addColumn<QString>("fault");
    QTest::addRow("work returns") << "return" << "" << "";
    QTest::addRow("work throws") << "throw" << "" << "";
    QTest::addRow("deadline passes") << "hang" << "" << "took longer than 50 ms";
    QTest::addRow("check gives up") << "hang" << "too big" << "too big";
}

void tst_OfficeAutomation::deadlineRunner()
{
    QFETCH(QString, work);
    QFETCH(QString, check);
    QFETCH(QString, fault);
    std::promise<void> release;
    int givenUp = 0;
    const DeadlineRunner runner([check] { return check; }, [&] { ++givenUp; release.set_value(); return 10000; }, 5);
    const DeadlineRunner::Result result = runner.run([work, released = release.get_future().share()] {
        if (work == QLatin1String("throw"))
            throw std::runtime_error("thrown");
        if (work == QLatin1String("hang"))
            released.wait();
    }, 50);
    QCOMPARE(result.fault, fault);
    QCOMPARE(bool(result.exception), work == QLatin1String("throw"));
    QCOMPARE(givenUp, fault.isEmpty() ? 0 : 1);
}

void tst_OfficeAutomation::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    const OfficeInstallation& office = OfficeInstallation::system();
    if (!office.writerAvailable() || !office.calcAvailable() || !office.impressAvailable())
        QSKIP("LibreOffice with Writer, Calc and Impress is not installed");
    session = std::make_unique<OfficeSession>();
    QVERIFY(dir.isValid() && OfficeFixtures::writeAll(*session, dir.path()));
    OfficeSession nowhere(dir.filePath(QStringLiteral("no-office")));
    QVERIFY(!nowhere.ensureRunning().error.isEmpty());
    QVERIFY(!OfficeApplication::start(nowhere));
}

void tst_OfficeAutomation::exportPdf_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("ignoreAreas");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QStringList>("pages"); // a line on each exported page; none: no PDF
    using L = QStringList;
    QTest::addRow("document range running past the end") << "doc.docx" << false << 4 << 9 << L{"4", "5"};
    QTest::addRow("document range reversed") << "doc.docx" << false << 3 << 2 << L();
    QTest::addRow("word 97 document") << "doc.doc" << false << 1 << 2 << L{"1", "2"};
    QTest::addRow("path with blanks, dots and hash") << "Q3.report #1.docx" << false << 3 << 3 << L{"3"};
    QTest::addRow("spreadsheet range past the end") << "book.xlsx" << false << 4 << 4 << L();
    QTest::addRow("print areas honoured") << "book.xlsx" << false << 1 << 99 << L{"1", "2", "3"};
    QTest::addRow("print areas ignored") << "book.xlsx" << true << 1 << 99 << L{"1", "2", "3", "4"};
}

void tst_OfficeAutomation::exportPdf()
{
    QFETCH(QString, file);
    QFETCH(bool, ignoreAreas);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QStringList, pages);
    QVERIFY(open(file));
    const QString pdf = dir.filePath(QStringLiteral("export.pdf"));
    QFile::remove(pdf);
    const OfficeResult<int> exported = document->exportPdf(pdf, first, last, ignoreAreas);
    QVERIFY2(exported.ok(), qPrintable(exported.error));
    QCOMPARE(exported.value, pages.size());
    QCOMPARE(QFile::exists(pdf), !pages.isEmpty());
    QProcess tool; // pdftotext ends each page with a form feed
    tool.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(pages.isEmpty() || tool.waitForFinished(30000));
    const QStringList text = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\f'));
    for (int i = 0; i < pages.size(); ++i) // on a line of its own: spreadsheet footers read "Page 2"
        QVERIFY2(text.at(i).contains(QRegularExpression("(^|\\n)\\s*" + pages.at(i) + "\\s*(\\n|$)")), qPrintable(text.at(i)));
}

void tst_OfficeAutomation::exportSlide_data()
{
    QTest::addColumn<int>("slide");
    QTest::addColumn<QString>("mediaType");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format"); // empty: nothing exported
    QTest::addRow("jpeg against the slide's proportions") << 3 << "image/jpeg" << QSize(120, 400) << QByteArray("jpeg");
    QTest::addRow("slide past the end") << 4 << "image/png" << QSize(300, 200) << QByteArray();
}

void tst_OfficeAutomation::exportSlide()
{
    QFETCH(int, slide);
    QFETCH(QString, mediaType);
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    QVERIFY(open(QStringLiteral("deck.pptx")));
    QCOMPARE(document->slideCount().value, 3);
    const QString image = dir.filePath(QStringLiteral("slide.img"));
    QFile::remove(image);
    QCOMPARE(document->exportSlide(slide, image, mediaType, size.width(), size.height()).ok(), !format.isEmpty());
    QImageReader reader(image);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), format.isEmpty() ? QSize() : size);
}

void tst_OfficeAutomation::quitClosesDocuments()
{
    QVERIFY(open(QStringLiteral("doc.docx")));
    const qint64 office = session->processId();
    application->quit();
    QVERIFY(!document->isOpen());
    QVERIFY(!document->exportPdf(dir.filePath(QStringLiteral("closed.pdf")), 1, 1).ok());
    QCOMPARE(session->processId(), office); // the office stays up for the next document
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
    QVERIFY(next.ensureRunning().ok());
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
    QTest::addRow("session ended") << "ended";
}

void tst_OfficeAutomation::replacesLostProcess()
{
    QFETCH(QString, fault);
    QVERIFY(session->ensureRunning().ok());
    const qint64 lost = session->processId();
    QVERIFY(lost > 0);
    const QString pdf = dir.filePath(QStringLiteral("overrun.pdf"));
    if (fault == QLatin1String("killed")) {
        ::kill(-static_cast<pid_t>(lost), SIGKILL);
    } else if (fault == QLatin1String("ended")) {
        session = std::make_unique<OfficeSession>();
    } else if (fault == QLatin1String("documents")) {
        session->setDocumentsPerProcess(1); // this process has served one already
        QVERIFY(open(QStringLiteral("doc.docx")));
        session->setDocumentsPerProcess(OfficeSession::DefaultDocumentsPerProcess);
    } else if (fault == QLatin1String("memory")) {
        QVERIFY(open(QStringLiteral("doc.docx")));
        session->setMemoryLimitMiB(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("took more than 1 MiB of memory; the office process was ended"));
        QVERIFY(!document->exportPdf(pdf, 1, 5).ok());
        session->setMemoryLimitMiB(OfficeSession::DefaultMemoryLimitMiB);
    } else {
        QVERIFY(open(QStringLiteral("doc.docx")));
        session->setCallTimeoutMs(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("took longer than 1 ms; the office process was ended"));
        if (fault == QLatin1String("export"))
            QVERIFY(!document->exportPdf(pdf, 1, 5).ok());
        else
            QVERIFY_EXCEPTION_THROWN(application->documents().open(dir.filePath("doc.docx")), OfficeAutomationError);
        session->setCallTimeoutMs(OfficeSession::DefaultCallTimeoutMs);
    }
    cleanup();
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(lost), 10000);

    // A fresh process serves the next document, also at the path an overrun wrote to.
    QVERIFY(open(QStringLiteral("doc.docx")));
    QVERIFY(session->processId() > 0 && session->processId() != lost);
    QCOMPARE(document->exportPdf(pdf, 1, 2).value, 2);
}

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--office-only") == 0) {
        QCoreApplication app(argc, argv);
        OfficeSession session;
        if (!session.ensureRunning().ok())
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
