#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QtTest>

#include "FileNameCodec.h"
#include "TestSupport.h"

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>

// Ignores SIGTERM until the program installs its own handler: an early request is lost.
class ShieldedProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::signal(SIGTERM, SIG_IGN); }
};

// miravel --batch, end to end through the real program.
class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Orphans come here rather than to init, which would end a stopped group of them at once.
        QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
        FileNameCodec::installForLocale(); // names as bytes, here as in the program
        Latin1Name = QFile::decodeName("latin1 \xe9t\xe9");
        for (const char* sub : {"in", "bad", "odd", "slow", "tmp", "upd", "clash", "latin", "home/.config/Tessarine", "badhome/.local/share"})
            QVERIFY(QDir(dir.path()).mkpath(QLatin1String(sub)));
        QImage picture(100, 80, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        for (const char* name : {"in/pic.png", "odd/-a b.png", "odd/it's \"ünï\".png", "odd/e\x1b[31m\t\n\\\x7f\xc2\x9b.png", "clash/three.png"})
            QVERIFY(picture.save(path(QString::fromUtf8(name)), "PNG"));
        QVERIFY(picture.save(path("latin/" + Latin1Name + ".png"), "PNG"));
        QVERIFY(!writeFile(path("clash/three.txt"), "Three.").isEmpty());
        QVERIFY(::mkfifo(qPrintable(path("odd/fifo.png")), 0600) == 0 && !writeFile(path("badhome/.local/share/miravel"), "no folder").isEmpty());
        QVERIFY(picture.save(path("upd/pic.png"), "PNG"));
        QPdfWriter pdf(path("in/doc.pdf")), big(path("big.pdf")), three(path("clash/three.pdf"));
        QPainter painter(&pdf), bigPainter(&big), threePainter(&three);
        pdf.newPage();
        three.newPage();
        for (int page = 1; page < 1000; ++page)
            big.newPage();
        QVERIFY(!writeFile(path(QStringLiteral("in/note.txt")), "A note.\n").isEmpty());
        QVERIFY(!writeFile(path(QStringLiteral("bad/broken.pdf")), "not a PDF at all").isEmpty());
        for (int i = 0; i < 20; ++i)
            QVERIFY(!writeFile(path(QStringLiteral("slow/%1.txt").arg(i)), QByteArray(20000, 'x')).isEmpty());
        QVERIFY(!writeFile(path(QStringLiteral("slow/letter.rtf")), "{\\rtf1\\ansi A letter.\\par}").isEmpty());
        storedSettings = "[General]\nMVSOutputFolder=" + path("stored").toUtf8()
            + "\nMVSNameFormat=[NAME]_[PAGE]\nMVSPdfMVSPEnd=2\n"
              "MVSFileTypes=\"Portable Document Format (PDF)\"\n";
        QVERIFY(!writeFile(path(QStringLiteral("home/.config/Tessarine/Miravel.conf")), storedSettings).isEmpty());
    }
    void run_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines"); // sorted; {d} is the test's folder
        QTest::addColumn<QStringList>("errors"); // each somewhere on standard error
        QTest::addColumn<QString>("home");
        const QStringList mixed = {"{d}/in/doc.pdf\t1\t{d}/out/thumbnail_doc_1.png",
                                   "{d}/in/note.txt\t1\t{d}/out/thumbnail_note_1.png",
                                   "{d}/in/pic.png\t1\t{d}/out/thumbnail_pic_1.png"};
        QTest::addRow("mixed folder as text lines")
            << QStringList{"-o", "{d}/out", "{d}/in"} << QByteArray() << 0 << mixed << QStringList() << "home";
        QTest::addRow("suffixes written with a wildcard or a dot")
            << QStringList{"-o", "{d}/out", "--ext", "*.pdf,.png", "{d}/in"} << QByteArray() << 0 << (mixed.filter(".pdf\t") + mixed.filter(".png\t")) << QStringList() << "home";
        QTest::addRow("json with per-family pages, format and template")
            << QStringList{"--json", "--pages", "pdf=1-2", "-F", "jpg", "-T", "[NAME]-[PAGE]",
                           "--types", "pdf,pictures", "--size", "pictures=50x40", "-o", "{d}/out",
                           "{d}/in"} << QByteArray() << 0
            << QStringList{"{d}/in/doc.pdf\t1\t{d}/out/doc-1.jpg\t2\t{d}/out/doc-2.jpg",
                           "{d}/in/pic.png\t1\t{d}/out/pic-1.jpg"} << QStringList() << "home";
        QTest::addRow("odd names from standard input, NUL-separated, a broken file gives 1")
            << QStringList{"--null", "--files-from", "-", "-o", "{d}/out", "--json"}
            << QString("{d}/odd/-a b.png|{d}/odd/it's \"ünï\".png|{d}/bad/broken.pdf")
                   .replace('|', QChar(0)).replace("{d}", dir.path()).toUtf8() << 1
            << QStringList{"{d}/bad/broken.pdf",
                           "{d}/odd/-a b.png\t1\t{d}/out/thumbnail_-a b_1.png",
                           "{d}/odd/it's \"ünï\".png\t1\t{d}/out/thumbnail_it's \"ünï\"_1.png"}
            << QStringList{"{d}/bad/broken.pdf: damaged, or not a file of its kind"} << "home";
        QTest::addRow("a name not valid UTF-8 in a folder, as an argument and in a NUL list: one file, named from its bytes, valid JSON")
            << QStringList{"--json", "--null", "--files-from", "-", "-o", "{d}/out", "{d}/latin", "{d}/latin/" + Latin1Name + ".png"}
            << QFile::encodeName(path("latin/" + Latin1Name + ".png")) + '\0' << 0
            << QStringList{"{d}/latin/" + Latin1Name + ".png\t1\t{d}/out/thumbnail_" + Latin1Name + "_1.png"} << QStringList() << "home";
        QTest::addRow("sources of one name: the later named apart with a warning, each made once however spelled")
            << QStringList{"-p", "1-2", "-o", "{d}/out", "{d}/clash/three.pdf", "{d}/clash/three.txt", "{d}/clash/../clash/three.pdf", "{d}/clash/three.png"} << QByteArray() << 0
            << QStringList{"{d}/clash/three.pdf\t1\t{d}/out/thumbnail_three_1.png\t2\t{d}/out/thumbnail_three_2.png",
                           "{d}/clash/three.png\t1\t{d}/out/thumbnail_three_1-3.png", "{d}/clash/three.txt\t1\t{d}/out/thumbnail_three_1-2.png"}
            << QStringList{"miravel: the thumbnails of {d}/clash/three.txt would have replaced those of {d}/clash/three.pdf",
                           "miravel: the thumbnails of {d}/clash/three.png would have replaced those of {d}/clash/three.txt"} << "home";
        QTest::addRow("--verbose adds the error log, pdftopng's lines included")
            << QStringList{"--verbose", "-o", "{d}/out", "{d}/bad/broken.pdf"} << QByteArray() << 1 << QStringList{"{d}/bad/broken.pdf"}
            << QStringList{" [ERROR] ", "pdftopng: cannot open {d}/bad/broken.pdf", "{d}/bad/broken.pdf: damaged"} << "home";
        QTest::addRow("a FIFO and a missing file among good ones: both listed, the rest made, 1")
            << QStringList{"-o", "{d}/out", "{d}/in/pic.png", "{d}/odd/fifo.png", "{d}/gone.png"} << QByteArray() << 1
            << QStringList{"{d}/gone.png", "{d}/in/pic.png\t1\t{d}/out/thumbnail_pic_1.png", "{d}/odd/fifo.png"}
            << QStringList{"{d}/gone.png: no such file", "{d}/odd/fifo.png: not a regular file"} << "home";
        QTest::addRow("control characters and backslashes in names escaped")
            << QStringList{"-o", "{d}/out", QString::fromUtf8("{d}/odd/e\x1b[31m\t\n\\\x7f\xc2\x9b.png")} << QByteArray() << 0
            << QStringList{"{d}/odd/e\\x1b[31m\\x09\\x0a\\\\\\x7f\\x9b.png\t1\t{d}/out/thumbnail_e\\x1b[31m\\x09\\x0a\\\\\\x7f\\x9b_1.png"} << QStringList() << "home";
        QTest::addRow("shard beyond the count gives 2")
            << QStringList{"--shard", "4/3", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList() << QStringList{"bad --shard 4/3"} << "home";
        QTest::addRow("shard 0 gives 2")
            << QStringList{"--shard", "0/3", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList() << QStringList{"bad --shard 0/3"} << "home";
        QTest::addRow("page range of three numbers gives 2")
            << QStringList{"--pages", "pdf=1-2-3", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList() << QStringList{"bad --pages pdf=1-2-3"} << "home";
        QTest::addRow("width out of range gives 2")
            << QStringList{"--size", "5x200", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList() << QStringList{"bad --size 5x200"} << "home";
        QTest::addRow("height out of range gives 2")
            << QStringList{"--size", "200x1001", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList() << QStringList{"bad --size 200x1001"} << "home";
        QTest::addRow("output below a file gives 2")
            << QStringList{"-o", "{d}/in/pic.png/out", "{d}/in"} << QByteArray() << 2 << QStringList() << QStringList{"cannot create the output folder {d}/in/pic.png/out"} << "home";
        QTest::addRow("working folder that cannot be made gives 2, naming it and why")
            << QStringList{"-o", "{d}/out", "{d}/in/pic.png"} << QByteArray() << 2 << QStringList()
            << QStringList{"cannot use the working folder {d}/badhome/.local/share/miravel/: Not a directory"} << "badhome";
        QTest::addRow("stored settings, format overridden")
            << QStringList{"--settings", "-F", "bmp", "{d}/in"} << QByteArray() << 0
            << QStringList{"{d}/in/doc.pdf\t1\t{d}/stored/doc_1.bmp\t2\t{d}/stored/doc_2.bmp"} << QStringList() << "home";
    }
    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, errors);
        QFETCH(QString, home);
        for (const QString& out : {path("out"), path("stored")})
            QVERIFY(QDir(out).removeRecursively());
        args.replaceInStrings(QStringLiteral("{d}"), dir.path());
        lines.replaceInStrings(QStringLiteral("{d}"), dir.path());
        errors.replaceInStrings(QStringLiteral("{d}"), dir.path());
        QProcess process;
        start(process, QStringList{"--batch"} + args, home);
        process.write(input);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), exitCode);
        const QString standardError = QString::fromUtf8(process.readAllStandardError());
        QVERIFY(!standardError.contains('\r')); // no progress line off a terminal
        QVERIFY2(std::all_of(errors.cbegin(), errors.cend(), [&](const QString& e) { return standardError.contains(e); }), qPrintable(standardError));
        if (errors.isEmpty()) // nothing but its own lines, no toolkit warning (XDG_RUNTIME_DIR is unset)
            QCOMPARE(standardError, QString());
        QCOMPARE(standardError.contains(QRegularExpression(" \\[ERROR\\] |pdftopng:")), args.contains("--verbose"));
        QStringList printed, thumbnails;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            QStringList fields = QFile::decodeName(line).split(QLatin1Char('\t'));
            if (args.contains(QStringLiteral("--json"))) {
                const QJsonObject object = QJsonDocument::fromJson(line).object();
                fields = QStringList{object.value(QStringLiteral("source")).toString()};
                for (const QJsonValue& value : object.value(QStringLiteral("thumbnails")).toArray())
                    fields << QString::number(value["page"].toInt()) << value["path"].toString();
                // Exactly the sources that made nothing say why.
                QCOMPARE(object.contains(QStringLiteral("error")), fields.size() == 1);
            }
            for (int i = 2; i < fields.size(); i += 2)
                thumbnails << fields.at(i);
            printed << fields.join(QLatin1Char('\t'));
        }
        printed.sort();
        QCOMPARE(printed, lines);
        QStringList written; // as the lines print them
        for (const QString& folder : {path("out"), path("stored")})
            for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files)) {
                QVERIFY2(!QImage(file.filePath()).isNull(), qPrintable(file.filePath()));
                written << file.filePath().replace("\\", "\\\\").replace("\x1b", "\\x1b").replace("\t", "\\x09").replace("\n", "\\x0a").replace("\x7f", "\\x7f").replace(QChar(0x9b), "\\x9b");
            }
        thumbnails.sort();
        written.sort();
        QCOMPARE(written, thumbnails);
        QFile settings(path("home/.config/Tessarine/Miravel.conf"));
        QVERIFY(settings.open(QIODevice::ReadOnly) && settings.readAll() == storedSettings);
    }
    void update_data()
    {
        QTest::addColumn<QStringList>("args");   // of both runs, beside --update --json
        QTest::addColumn<QStringList>("second"); // of the second run only
        QTest::addColumn<QString>("change");     // made to upd/pic.png between the runs
        QTest::addColumn<QStringList>("skipped"); // sources the second run passes over
        QTest::addColumn<int>("exitCode");
        const QStringList out{"-o", "{d}/uout"}, both{"doc.pdf", "pic.png"}, doc{"doc.pdf"};
        QTest::addRow("unchanged") << out << QStringList() << "" << both << 0;
        QTest::addRow("unchanged, without --update: all made") << out << QStringList() << "plain" << QStringList() << 0;
        QTest::addRow("jpeg unchanged") << out + QStringList{"-F", "jpg"} << QStringList() << "" << both << 0;
        QTest::addRow("changed time") << out << QStringList() << "touch" << doc << 0;
        QTest::addRow("changed size, same time") << out << QStringList() << "grow" << doc << 0;
        QTest::addRow("changed settings") << out << QStringList{"--keep-aspect", "pictures=off"} << "" << doc << 0;
        QTest::addRow("changed page range") << out << QStringList{"--pages", "pdf=1-2"} << "" << QStringList{"pic.png"} << 0;
        QTest::addRow("missing thumbnail") << out << QStringList() << "remove" << doc << 0;
        QTest::addRow("bmp newer than its source") << out + QStringList{"-F", "bmp"} << QStringList() << "" << both << 0;
        QTest::addRow("bmp older than its source") << out + QStringList{"-F", "bmp"} << QStringList() << "touch" << doc << 0;
        QTest::addRow("bmp as old as its source") << out + QStringList{"-F", "bmp"} << QStringList() << "same" << doc << 0;
        QTest::addRow("sources of one name, each with its own thumbnails")
            << out + QStringList{"{d}/clash/three.pdf", "{d}/clash/three.txt"} << QStringList() << "" << both + QStringList{"three.pdf", "three.txt"} << 0;
        QTest::addRow("time token refused") << out << QStringList{"-T", "[NAME]_[Time]"} << "" << QStringList() << 2;
        QTest::addRow("miravel thumbnails beside their sources passed over") << QStringList{"-b"} << QStringList() << ""
            << QStringList{"doc.pdf", "pic.png", "thumbnail_doc_1.png", "thumbnail_pic_1.png"} << 0;
    }
    // The same command twice: the second run passes over what is up to date, and Miravel's own thumbnails.
    void update()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, second);
        QFETCH(QString, change);
        QFETCH(QStringList, skipped);
        QFETCH(int, exitCode);
        QVERIFY(QDir(path("uout")).removeRecursively());
        QFile::copy(path("in/doc.pdf"), path("upd/doc.pdf")); // once written whole
        for (const QString& name : QDir(path("upd")).entryList({"thumbnail_*"}))
            QVERIFY(QFile::remove(path("upd/" + name)));
        args = QStringList{"--update", "--batch", "--json"} + args.replaceInStrings("{d}", dir.path()) + QStringList{path("upd")};
        QFile pic(path("upd/pic.png"));
        QVERIFY(pic.open(QIODevice::ReadWrite) && pic.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        QProcess process;
        for (int run = 0; run < 2; ++run) {
            start(process, run ? args.mid(change == "plain" ? 1 : 0) + second : args);
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.exitCode(), run ? exitCode : 0);
            const QDateTime modified = pic.fileTime(QFileDevice::FileModificationTime);
            if (run)
                break;
            if (change == "grow") // same time
                QVERIFY(pic.seek(pic.size()) && pic.write("x") == 1 && pic.flush() && pic.setFileTime(modified, QFileDevice::FileModificationTime));
            else if (change == "touch") // after the thumbnail
                QVERIFY(pic.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
            else if (change == "same") // the thumbnail's time, as on a coarse clock
                QVERIFY(pic.setFileTime(QFileInfo(path("uout/thumbnail_pic_1.bmp")).lastModified(), QFileDevice::FileModificationTime));
            else if (change == "remove")
                QVERIFY(QFile::remove(path("uout/thumbnail_pic_1.png")));
        }
        QStringList passed;
        int upToDate = 0;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            const bool own = object["reason"] == "a thumbnail made by Miravel";
            if (object["skipped"].toBool())
                passed << QFileInfo(object["source"].toString()).fileName();
            upToDate += object["skipped"].toBool() && !own;
            // Up to date: listed with the thumbnails of before; own thumbnails with none.
            QVERIFY(line.isEmpty() || object["thumbnails"].toArray().isEmpty() == own);
        }
        passed.sort();
        QCOMPARE(passed, skipped);
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        const QString expected = exitCode ? "[DATE] or [TIME]" : change == "plain" ? "" : QString("Up to date: %1\n").arg(upToDate);
        QVERIFY2(errors.contains(expected) && errors.contains("Up to date") == (!exitCode && change != "plain")
                 && errors.contains("passed over 2 thumbnail(s) made by Miravel") == (passed.size() > upToDate), qPrintable(errors));
    }
    void interrupt_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("child"); // in the command line of a child to wait for and freeze
        const QStringList big{"-p", "1-1000", "{d}/big.pdf"};
        QTest::addRow("SIGTERM") << QList<int>{SIGTERM} << QStringList{"{d}/slow"} << QString();
        QTest::addRow("SIGINT, the office frozen: ends long before its call limit, the office too") << QList<int>{SIGINT} << QStringList{"{d}/slow/letter.rtf"} << Office;
        QTest::addRow("SIGINT, then SIGTERM ends at once, pdftopng too") << QList<int>{SIGINT, SIGTERM} << big << Renderer;
        QTest::addRow("SIGKILL: pdftopng ends too, the next run removes the work area") << QList<int>{SIGKILL} << big << Renderer;
    }
    // Stops after the file in hand: all thumbnails written are whole and printed, no child left.
    void interrupt()
    {
        QFETCH(QList<int>, sent);
        QFETCH(QStringList, args);
        QFETCH(QString, child);
        if (child == Office && (!HAVE_OFFICE || QStandardPaths::findExecutable("soffice").isEmpty()))
            QSKIP("LibreOffice is not installed");
        QVERIFY(QDir(path("out")).removeRecursively());
        QProcess process;
        start(process, QStringList{"--batch", "-o", path("out")} + args.replaceInStrings("{d}", dir.path()));
        qint64 group = 0;
        QTRY_VERIFY_WITH_TIMEOUT(child.isEmpty() ? process.canReadLine() : (group = findGroup(child)) > 0, 60000);
        if (group > 0)
            ::kill(-pid_t(group), SIGSTOP);
        const qint64 pid = process.processId();
        for (int signal : sent)
            ::kill(pid_t(pid), signal);
        QVERIFY(process.waitForFinished(20000));
        // Signals that come together are handled in either order.
        QVERIFY(sent.contains(process.exitStatus() == QProcess::CrashExit ? SIGKILL : process.exitCode() - 128));
        const QStringList written = QDir(path("out")).entryList(QDir::Files);
        QVERIFY(written.size() < 20); // some of the 20 text files left
        QCOMPARE(process.readAllStandardOutput().count('\t') / 2, written.size());
        for (const QString& name : written)
            QVERIFY(!QImage(QDir(path("out")).filePath(name)).isNull());
        QTRY_VERIFY_WITH_TIMEOUT(!findGroup(child.isEmpty() ? Office : child), 10000);
        const QString area = path(Renderer) + QString::number(pid);
        if (child == Renderer) { // what a dead run left is removed by the next, of any kind
            QVERIFY(QDir(area).exists());
            QProcess next;
            start(next, {"--batch", "-o", path("out"), path("in/pic.png")});
            QVERIFY(next.waitForFinished(60000) && !QDir(area).exists());
        }
    }
    // On a terminal the progress line counts the files done against the files found.
    void progressOnTerminal()
    {
        QProcess terminal; // script(1) gives the program a terminal
        const QString command = QStringLiteral("'%1' --batch -o '%2' '%3' '%4'").arg(MIRAVEL_PATH, path("tty"), path("in/pic.png"), path("in/note.txt"));
        start(terminal, {"-qec", command, "/dev/null"}, "home", "script");
        QVERIFY(terminal.waitForFinished(60000));
        QCOMPARE(terminal.exitCode(), 0);
        QVERIFY(terminal.readAllStandardOutput().contains("[2/2] "));
    }
    // The program's own command line, without a display.
    void ownCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // how standard output begins
        QTest::addColumn<int>("errorLines");
        QTest::addRow("--help names --batch") << QStringList{"x", "--help"} << 0 << "Usage: miravel [PATH...]\n       miravel --batch [options] PATH..." << 0;
        QTest::addRow("--batch --help names --batch") << QStringList{"--batch", "--help"} << 0 << "Usage: miravel --batch [options] PATH...\nMakes thumbnails" << 0;
        QTest::addRow("--version") << QStringList{"--version"} << 0 << "Miravel 1." << 0;
        QTest::addRow("the window without a display: said in one line, 2") << QStringList{dir.path()} << 2 << "" << 1;
    }
    void ownCommandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(int, errorLines);
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            qunsetenv(name);
        QProcess process;
        start(process, args);
        qputenv("QT_QPA_PLATFORM", platform);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).left(output.size()), output);
        QCOMPARE(process.readAllStandardError().count('\n'), errorLines);
    }
    // Window mode, unknown arguments, SIGTERM from outside: it closes, saves its settings, exits 0.
    void windowEndsOnSigterm()
    {
        const QString store = path("winhome/.config/Tessarine/Miravel.conf");
        // A box about missing office components would keep the program from getting ready.
        QSettings(store, QSettings::IniFormat).setValue("MVSOfficeWarningDontShow", true);
        ShieldedProcess process;
        start(process, {"--unknown-option", "/no/such/file.pdf", "-x"}, "winhome");
        QVERIFY(process.waitForStarted());
        for (int tries = 0; process.state() != QProcess::NotRunning && tries < 3000; ++tries) {
            if (!QSettings(store, QSettings::IniFormat).contains("MVSNameFormat"))
                ::kill(pid_t(process.processId()), SIGTERM);
            process.waitForFinished(20);
        }
        QCOMPARE(process.state(), QProcess::NotRunning);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(QSettings(store, QSettings::IniFormat).contains("MVSNameFormat"));
    }

private:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    void start(QProcess& process, const QStringList& args, const QString& home = "home", const QString& program = MIRAVEL_PATH)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), path(home));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        // The office profile goes under the test's folder, where findGroup finds it.
        env.insert(QStringLiteral("TMPDIR"), path("tmp"));
        process.setProcessEnvironment(env);
        process.start(program, args);
    }
    // The group of a live process with `text`, below the test's folder, in its command line (a
    // zombie's is empty); 0 when there is none.
    qint64 findGroup(const QString& text) const
    {
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmdline("/proc/" + pid + "/cmdline"), stat("/proc/" + pid + "/stat");
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(path(text).toUtf8()) && stat.open(QIODevice::ReadOnly))
                return stat.readAll().split(')').last().split(' ').value(3).toLongLong(); // "", state, parent, group
        }
        return 0;
    }
    const QString Office = "tmp/miravel-office-", Renderer = "home/.local/share/miravel/run-";
    QString Latin1Name; // "été" in Latin-1
    QTemporaryDir dir;
    QByteArray storedSettings;
};

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
