#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QtTest>

#include "TestSupport.h"

#include <csignal>

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
        for (const char* sub : {"in", "bad", "odd", "slow", "tmp", "upd", "home/.config/Tessarine"})
            QVERIFY(QDir(dir.path()).mkpath(QLatin1String(sub)));
        QImage picture(100, 80, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        for (const char* name : {"in/pic.png", "odd/-a b.png", "odd/it's \"ünï\".png"})
            QVERIFY(picture.save(path(QString::fromUtf8(name)), "PNG"));
        QVERIFY(picture.save(path("upd/pic.png"), "PNG"));
        QPdfWriter pdf(path("in/doc.pdf"));
        QPainter painter(&pdf);
        pdf.newPage();
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
        const QStringList mixed = {"{d}/in/doc.pdf\t1\t{d}/out/thumbnail_doc_1.png",
                                   "{d}/in/note.txt\t1\t{d}/out/thumbnail_note_1.png",
                                   "{d}/in/pic.png\t1\t{d}/out/thumbnail_pic_1.png"};
        QTest::addRow("mixed folder as text lines")
            << QStringList{"-o", "{d}/out", "{d}/in"} << QByteArray() << 0 << mixed;
        QTest::addRow("json with per-family pages, format and template")
            << QStringList{"--json", "--pages", "pdf=1-2", "-F", "jpg", "-T", "[NAME]-[PAGE]",
                           "--types", "pdf,pictures", "--size", "pictures=50x40", "-o", "{d}/out",
                           "{d}/in"} << QByteArray() << 0
            << QStringList{"{d}/in/doc.pdf\t1\t{d}/out/doc-1.jpg\t2\t{d}/out/doc-2.jpg",
                           "{d}/in/pic.png\t1\t{d}/out/pic-1.jpg"};
        QTest::addRow("odd names from standard input, NUL-separated, a broken file gives 1")
            << QStringList{"--null", "--files-from", "-", "-o", "{d}/out", "--json"}
            << QString("{d}/odd/-a b.png|{d}/odd/it's \"ünï\".png|{d}/bad/broken.pdf")
                   .replace('|', QChar(0)).replace("{d}", dir.path()).toUtf8() << 1
            << QStringList{"{d}/bad/broken.pdf",
                           "{d}/odd/-a b.png\t1\t{d}/out/thumbnail_-a b_1.png",
                           "{d}/odd/it's \"ünï\".png\t1\t{d}/out/thumbnail_it's \"ünï\"_1.png"};
        QTest::addRow("shard beyond the count gives 2")
            << QStringList{"--shard", "4/3", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList();
        QTest::addRow("shard 0 gives 2")
            << QStringList{"--shard", "0/3", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList();
        QTest::addRow("size out of range gives 2")
            << QStringList{"--size", "5x5", "-o", "{d}/out", "{d}/in"} << QByteArray() << 2 << QStringList();
        QTest::addRow("output below a file gives 2")
            << QStringList{"-o", "{d}/in/pic.png/out", "{d}/in"} << QByteArray() << 2 << QStringList();
        QTest::addRow("stored settings, format overridden")
            << QStringList{"--settings", "-F", "bmp", "{d}/in"} << QByteArray() << 0
            << QStringList{"{d}/in/doc.pdf\t1\t{d}/stored/doc_1.bmp\t2\t{d}/stored/doc_2.bmp"};
    }
    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        for (const QString& out : {path("out"), path("stored")})
            QVERIFY(QDir(out).removeRecursively());
        args.replaceInStrings(QStringLiteral("{d}"), dir.path());
        lines.replaceInStrings(QStringLiteral("{d}"), dir.path());
        QProcess process;
        start(process, QStringList{"--batch"} + args);
        process.write(input);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY(!process.readAllStandardError().contains('\r')); // no progress line off a terminal
        QStringList printed, thumbnails;
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QStringList fields = line.split(QLatin1Char('\t'));
            if (args.contains(QStringLiteral("--json"))) {
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
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
        QStringList written;
        for (const QString& folder : {path("out"), path("stored")})
            for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
                written << file.filePath();
        thumbnails.sort();
        written.sort();
        QCOMPARE(written, thumbnails);
        for (const QString& thumbnail : qAsConst(thumbnails))
            QVERIFY2(!QImage(thumbnail).isNull(), qPrintable(thumbnail));
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
        QTest::addColumn<int>("signal");
        QTest::addRow("SIGINT with an office document") << int(SIGINT);
        QTest::addRow("SIGTERM") << int(SIGTERM);
    }
    // Stops after the file in hand: all thumbnails written are whole and printed, the office gone.
    void interrupt()
    {
        QFETCH(int, signal);
        const bool withOffice = signal == SIGINT;
        if (withOffice && (!HAVE_OFFICE || QStandardPaths::findExecutable("soffice").isEmpty()))
            QSKIP("LibreOffice is not installed");
        QVERIFY(QDir(path("out")).removeRecursively());
        QProcess process;
        start(process, {"--batch", "-o", path("out"), path("slow")});
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 60000);
        if (withOffice)
            QTRY_VERIFY_WITH_TIMEOUT(officeRunning(), 60000);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 128 + signal);
        const QStringList written = QDir(path("out")).entryList(QDir::Files);
        // The office document may come last in the engine's order, then nothing is left to skip.
        QVERIFY(withOffice || written.size() < 21);
        QCOMPARE(process.readAllStandardOutput().count('\n'), written.size());
        for (const QString& name : written)
            QVERIFY(!QImage(QDir(path("out")).filePath(name)).isNull());
        QTRY_VERIFY_WITH_TIMEOUT(!officeRunning(), 10000);
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
    void start(QProcess& process, const QStringList& args, const QString& home = "home")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), path(home));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        // The office profile goes under the test's folder, where officeRunning finds it.
        env.insert(QStringLiteral("TMPDIR"), path("tmp"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(MIRAVEL_PATH), args);
    }
    bool officeRunning() const
    {
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (cmdline.open(QIODevice::ReadOnly)
                && cmdline.readAll().contains(path("tmp/miravel-office-").toUtf8()))
                return true;
        }
        return false;
    }
    QTemporaryDir dir;
    QByteArray storedSettings;
};

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
