#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// miravel --batch, end to end through the real program.
class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void interrupt_data();
    void interrupt();
    void windowEndsOnSigterm();

private:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QProcess* start(const QStringList& args);
    // Whether an office process with a profile in this test's folder is alive.
    bool officeRunning() const;

    QTemporaryDir dir;
    QByteArray storedSettings;
};

void TestBatch::initTestCase()
{
    QVERIFY(dir.isValid());
    for (const char* sub : {"in", "bad", "odd", "slow", "tmp", "home/.config/Tessarine"})
        QVERIFY(QDir(dir.path()).mkpath(QLatin1String(sub)));
    QImage picture(100, 80, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QVERIFY(picture.save(path("in/pic.png")));
    for (const char* name : {"a b.png", "it's \"q\".png", "-dash.png", "ünï.png"})
        QVERIFY(picture.save(path("odd/") + QString::fromUtf8(name), "PNG"));
    QPdfWriter pdf(path("in/doc.pdf"));
    QPainter painter(&pdf);
    painter.drawText(100, 100, QStringLiteral("one"));
    pdf.newPage();
    painter.drawText(100, 100, QStringLiteral("two"));
    painter.end();
    const auto write = [this](const QString& name, const QByteArray& contents) {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    };
    QVERIFY(write(QStringLiteral("in/note.txt"), "A note.\n"));
    QVERIFY(write(QStringLiteral("bad/broken.pdf"), "not a PDF at all"));
    for (int i = 0; i < 20; ++i)
        QVERIFY(write(QStringLiteral("slow/%1.txt").arg(i), QByteArray(20000, 'x')));
    QVERIFY(write(QStringLiteral("slow/letter.rtf"), "{\\rtf1\\ansi A letter.\\par}"));
    storedSettings = "[General]\nMVSOutputFolder=" + path("stored").toUtf8()
        + "\nMVSNameFormat=stored_[NAME]_[PAGE]\nMVSPdfMVSPEnd=2\n"
          "MVSFileTypes=\"Portable Document Format (PDF)\"\n";
    QVERIFY(write(QStringLiteral("home/.config/Tessarine/Miravel.conf"), storedSettings));
}

QProcess* TestBatch::start(const QStringList& args)
{
    auto* process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), path("home"));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    // The office profile goes under the test's folder, where officeRunning finds it.
    env.insert(QStringLiteral("TMPDIR"), path("tmp"));
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(MIRAVEL_PATH), QStringList{QStringLiteral("--batch")} + args);
    return process;
}

void TestBatch::run_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // sorted; {d} is the test's folder

    const QStringList mixed = {"{d}/in/doc.pdf\t1\t{d}/out/thumbnail_doc_1.png",
                               "{d}/in/note.txt\t1\t{d}/out/thumbnail_note_1.png",
                               "{d}/in/pic.png\t1\t{d}/out/thumbnail_pic_1.png"};
    QTest::addRow("mixed folder as text lines")
        << QStringList{"-o", "{d}/out", "{d}/in"} << QByteArray() << 0 << mixed;
    QTest::addRow("json with per-family pages, format and template")
        << QStringList{"--json", "--pages", "pdf=1-2", "-F", "jpg", "-T", "[NAME]-[PAGE]",
                       "--types", "pdf,pictures", "--size", "pictures=50x40", "-o", "{d}/out",
                       "{d}/in"}
        << QByteArray() << 0
        << QStringList{"{d}/in/doc.pdf\t1\t{d}/out/doc-1.jpg\t2\t{d}/out/doc-2.jpg",
                       "{d}/in/pic.png\t1\t{d}/out/pic-1.jpg"};
    QTest::addRow("odd names from standard input, NUL-separated")
        << QStringList{"--null", "--files-from", "-", "-o", "{d}/out", "--json"}
        << QString("{d}/odd/a b.png|{d}/odd/it's \"q\".png|{d}/odd/-dash.png|{d}/odd/ünï.png")
               .replace('|', QChar(0)).replace("{d}", dir.path()).toUtf8()
        << 0
        << QStringList{"{d}/odd/-dash.png\t1\t{d}/out/thumbnail_-dash_1.png",
                       "{d}/odd/a b.png\t1\t{d}/out/thumbnail_a b_1.png",
                       "{d}/odd/it's \"q\".png\t1\t{d}/out/thumbnail_it's \"q\"_1.png",
                       "{d}/odd/ünï.png\t1\t{d}/out/thumbnail_ünï_1.png"};
    QTest::addRow("broken file gives 1")
        << QStringList{"-o", "{d}/out", "{d}/in/pic.png", "{d}/bad/broken.pdf", "--json"}
        << QByteArray() << 1
        << QStringList{"{d}/bad/broken.pdf", "{d}/in/pic.png\t1\t{d}/out/thumbnail_pic_1.png"};
    QTest::addRow("size out of range gives 2")
        << QStringList{"--size", "5x5", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2
        << QStringList();
    QTest::addRow("output below a file gives 2")
        << QStringList{"-o", "{d}/in/pic.png/out", "{d}/in"} << QByteArray() << 2
        << QStringList();
    QTest::addRow("stored settings, format overridden")
        << QStringList{"--settings", "-F", "bmp", "{d}/in"} << QByteArray() << 0
        << QStringList{"{d}/in/doc.pdf\t1\t{d}/stored/stored_doc_1.bmp\t2\t"
                       "{d}/stored/stored_doc_2.bmp"};
}

void TestBatch::run()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    for (const QString& out : {path("out"), path("stored")})
        QVERIFY(QDir(out).removeRecursively());
    args.replaceInStrings(QStringLiteral("{d}"), dir.path());
    lines.replaceInStrings(QStringLiteral("{d}"), dir.path());

    QProcess* process = start(args);
    process->write(input);
    process->closeWriteChannel();
    QVERIFY(process->waitForFinished(120000));
    QCOMPARE(process->exitCode(), exitCode);

    QStringList printed;
    QStringList thumbnails;
    for (const QByteArray& line : process->readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (args.contains(QStringLiteral("--json"))) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            fields = QStringList{object.value(QStringLiteral("source")).toString()};
            for (const QJsonValue& value : object.value(QStringLiteral("thumbnails")).toArray())
                fields << QString::number(value[QStringLiteral("page")].toInt())
                       << value[QStringLiteral("path")].toString();
            // Exactly the sources that made nothing say why.
            QCOMPARE(object.contains(QStringLiteral("error")), fields.size() == 1);
        }
        for (int i = 2; i < fields.size(); i += 2)
            thumbnails << fields.at(i);
        printed << fields.join(QLatin1Char('\t'));
    }
    printed.sort();
    QCOMPARE(printed, lines);
    // Exactly the thumbnails printed were written, each a whole image.
    QStringList written;
    for (const QString& folder : {path("out"), path("stored")}) {
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
            written << file.filePath();
    }
    thumbnails.sort();
    written.sort();
    QCOMPARE(written, thumbnails);
    for (const QString& thumbnail : qAsConst(thumbnails))
        QVERIFY2(!QImage(thumbnail).isNull(), qPrintable(thumbnail));
    QFile settings(path("home/.config/Tessarine/Miravel.conf"));
    QVERIFY(settings.open(QIODevice::ReadOnly) && settings.readAll() == storedSettings);
}

bool TestBatch::officeRunning() const
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly)
            && cmdline.readAll().contains(path("tmp/miravel-office-").toUtf8()))
            return true;
    }
    return false;
}

void TestBatch::interrupt_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("withOffice");
    QTest::addRow("SIGINT with an office document") << int(SIGINT) << true;
    QTest::addRow("SIGTERM") << int(SIGTERM) << false;
}

// Stops after the file in hand: every thumbnail written is whole and printed, and the
// office process is gone.
void TestBatch::interrupt()
{
    QFETCH(int, signal);
    QFETCH(bool, withOffice);
    if (withOffice && (!HAVE_OFFICE || QStandardPaths::findExecutable("soffice").isEmpty()))
        QSKIP("LibreOffice is not installed");
    QVERIFY(QDir(path("out")).removeRecursively());
    QProcess* process = start({"-o", path("out"), path("slow")});
    QTRY_VERIFY_WITH_TIMEOUT(process->canReadLine(), 60000);
    if (withOffice)
        QTRY_VERIFY_WITH_TIMEOUT(officeRunning(), 60000);
    ::kill(pid_t(process->processId()), signal);
    QVERIFY(process->waitForFinished(60000));
    QCOMPARE(process->exitCode(), 128 + signal);
    const QList<QByteArray> lines = process->readAllStandardOutput().split('\n');
    const QStringList written = QDir(path("out")).entryList(QDir::Files);
    // The office document may come last in the engine's order, then nothing is left to skip.
    QVERIFY(withOffice || written.size() < 21);
    QCOMPARE(written.size(), lines.size() - 1);
    for (const QString& name : written)
        QVERIFY(!QImage(QDir(path("out")).filePath(name)).isNull());
    QTRY_VERIFY_WITH_TIMEOUT(!officeRunning(), 10000);
}

// Ignores SIGTERM until the program installs its own handler: an early request is lost.
class ShieldedProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::signal(SIGTERM, SIG_IGN); }
};

// In window mode, with arguments it does not know, asked from outside to end: it closes its
// window, saves its settings and exits 0.
void TestBatch::windowEndsOnSigterm()
{
    const QString store = path("winhome/.config/Tessarine/Miravel.conf");
    // A box about missing office components would keep the program from getting ready.
    QSettings(store, QSettings::IniFormat).setValue("MVSOfficeWarningDontShow", true);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), path("winhome"));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    ShieldedProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MIRAVEL_PATH), {"--unknown-option", "/no/such/file.pdf", "-x"});
    QVERIFY(process.waitForStarted());
    for (int tries = 0; process.state() != QProcess::NotRunning && tries < 3000; ++tries) {
        if (!QSettings(store, QSettings::IniFormat).contains("MVSNameFormat"))
            ::kill(pid_t(process.processId()), SIGTERM);
        process.waitForFinished(20);
    }
    QCOMPARE(process.state(), QProcess::NotRunning);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(QSettings(store, QSettings::IniFormat).contains("MVSNameFormat"));
}

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
