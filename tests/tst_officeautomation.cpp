#include "DeadlineRunner.h"
#include "OfficeArea.h"
#include "OfficeAreaSweeper.h"
#include "OfficeDocument.h"
#include "OfficeFixtures.h"
#include "OfficeInstallation.h"
#include "OfficeProcess.h"

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
    void failedCalls();
    void killedProcessSeenToEnd();
    void officeEndsWithKilledProgram();
    void sweepSparesStrangers();
    void replacesLostProcess_data(); void replacesLostProcess(); // last: they replace the office

private:
    // Opens a file through a fresh application; false when the office cannot be started.
    bool open(const QString& name)
    {
        cleanup();
        if ((application = OfficeApplication::attach(*session)))
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
    int checks = 0;
    const DeadlineRunner runner([&checks, check] { ++checks; return check; }, [&] { ++givenUp; release.set_value(); return 10000; }, 5);
    const DeadlineRunner::Result result = runner.run([work, released = release.get_future().share()] {
        if (work == QLatin1String("throw"))
            throw std::runtime_error("thrown");
        if (work == QLatin1String("hang"))
            released.wait();
    }, 50);
    QCOMPARE(result.fault, fault);
    QCOMPARE(bool(result.exception), work == QLatin1String("throw"));
    QCOMPARE(givenUp, fault.isEmpty() ? 0 : 1);
    QVERIFY2(checks <= 50 / 5 + 2, "checked once a poll interval, not in a busy loop");
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
    QVERIFY(!OfficeApplication::attach(nowhere));
}

void tst_OfficeAutomation::failedCalls()
{
    QVERIFY(open(QStringLiteral("deck.pptx")));
    const qint64 office = session->processId();
    const QString image = dir.filePath(QStringLiteral("slide.png"));
    QVERIFY(!document->exportSlide(4, image, QStringLiteral("image/png"), 300, 200).ok() && !QFile::exists(image)); // past the end
    application->quit();
    QVERIFY(!document->isOpen());
    QVERIFY(!document->exportSlide(1, image, QStringLiteral("image/png"), 300, 200).ok());
    QCOMPARE(session->processId(), office); // the office stays up for the next document
}

void tst_OfficeAutomation::killedProcessSeenToEnd()
{
    const auto office = OfficeProcess::launch(OfficeInstallation::system().programDir(), QDeadlineTimer(90000));
    QVERIFY(office.ok() && office.value->isRunning() && !office.value->waitForExit(0));
    ::kill(-static_cast<pid_t>(office.value->group()), SIGKILL);
    QVERIFY(office.value->waitForExit(10000) && !office.value->isRunning());
}

void tst_OfficeAutomation::officeEndsWithKilledProgram()
{
    QProcess program; // this test re-executed as a program that starts an office
    program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--office-only")});
    QVERIFY(program.waitForReadyRead(120000));
    const qint64 office = program.readLine().trimmed().toLongLong();
    QVERIFY(!groupMembers(office).isEmpty());
    const QStringList areas = QDir::temp().entryList({QStringLiteral("miravel-office-%1-*").arg(program.processId())}, QDir::Dirs);
    QCOMPARE(areas.size(), 1);
    ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
    QVERIFY(program.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(groupMembers(office).isEmpty(), 10000);
    // The next office's start removes what the killed program left behind.
    OfficeSession next;
    QVERIFY(next.ensureRunning().ok());
    QVERIFY(!QDir::temp().exists(areas.first()));
}

void tst_OfficeAutomation::sweepSparesStrangers()
{
    // A dead run's area whose recorded group now holds a process naming the area's profile
    // and, beside it, its child that does not: only the first is the area's office.
    QProcess gone;
    gone.start(QStringLiteral("true"), QStringList());
    QVERIFY(gone.waitForStarted(10000));
    const QString area = QDir::temp().filePath(OfficeArea::Prefix + QStringLiteral("%1-sweep").arg(gone.processId()));
    QVERIFY(gone.waitForFinished(10000));
    QVERIFY(QDir().mkpath(area));
    QProcess office;
    office.start(QStringLiteral("setsid"), {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("sleep 60; :"),
                                            QStringLiteral("-env:UserInstallation=") + OfficeArea::profileUrl(area)});
    QVERIFY(office.waitForStarted(10000));
    const qint64 group = office.processId();
    QTRY_COMPARE_WITH_TIMEOUT(groupMembers(group).size(), 2, 10000);
    OfficeArea::writeRecord(area, {group, {}});
    OfficeAreaSweeper::sweepOrphans();
    QVERIFY(office.waitForFinished(10000));
    const QList<qint64> left = groupMembers(group);
    ::kill(-static_cast<pid_t>(group), SIGKILL);
    QCOMPARE(office.exitStatus(), QProcess::CrashExit);
    QCOMPARE(left.size(), 1);
    QVERIFY(!QFileInfo::exists(area));
}

void tst_OfficeAutomation::replacesLostProcess_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("warning"); // logged as the office process is ended
    QTest::addRow("process killed from outside") << "killed" << "";
    QTest::addRow("session ended, the next one started ahead") << "ended" << "";
    QTest::addRow("process replaced after its documents") << "documents" << "";
    QTest::addRow("opening overruns the time limit") << "open" << "took longer than 1 ms";
    QTest::addRow("export overruns the time limit") << "export" << "took longer than 1 ms";
    QTest::addRow("export passes the memory limit") << "memory" << "took more than 1 MiB of memory";
}

void tst_OfficeAutomation::replacesLostProcess()
{
    QFETCH(QString, fault);
    QFETCH(QString, warning);
    QVERIFY(session->ensureRunning().ok());
    const qint64 lost = session->processId();
    // The process has served a document already: a limit of one replaces it on this opening.
    session->setDocumentsPerProcess(fault == QLatin1String("documents") ? 1 : OfficeSession::DefaultDocumentsPerProcess);
    QVERIFY(open(QStringLiteral("doc.docx")));
    session->setDocumentsPerProcess(OfficeSession::DefaultDocumentsPerProcess);
    session->setCallTimeoutMs(fault == QLatin1String("open") || fault == QLatin1String("export") ? 1 : OfficeSession::DefaultCallTimeoutMs);
    session->setMemoryLimitMiB(fault == QLatin1String("memory") ? 1 : OfficeSession::DefaultMemoryLimitMiB);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning + QStringLiteral("; the office process was ended")));
    const QString pdf = dir.filePath(QStringLiteral("overrun.pdf"));
    qint64 ahead = 0;
    if (fault == QLatin1String("killed")) {
        ::kill(-static_cast<pid_t>(lost), SIGKILL);
    } else if (fault == QLatin1String("ended")) {
        cleanup();
        session = std::make_unique<OfficeSession>();
        session->launch();
        ahead = session->processId(); // the office the next document connects to
    } else if (fault == QLatin1String("open")) {
        QVERIFY_EXCEPTION_THROWN(application->documents().open(dir.filePath("doc.docx")), OfficeAutomationError);
    } else if (fault != QLatin1String("documents")) {
        QVERIFY(!document->exportPdf(pdf, 1, 5).ok());
    }
    session->setCallTimeoutMs(OfficeSession::DefaultCallTimeoutMs);
    session->setMemoryLimitMiB(OfficeSession::DefaultMemoryLimitMiB);
    cleanup();
    QTRY_VERIFY_WITH_TIMEOUT(groupMembers(lost).isEmpty(), 10000);

    // A fresh process serves the next document, also at the path an overrun wrote to.
    QVERIFY(open(QStringLiteral("doc.docx")));
    QVERIFY(session->processId() > 0 && session->processId() != lost);
    QVERIFY(ahead == 0 || session->processId() == ahead);
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
