#include "engine/ThumbEngine.h"
#include "TestSupport.h"

#include <QtTest>

#include <atomic>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <thread>

namespace {

using Statuses = QList<ThumbEngine::ThumbStatus>;

// A producer the test controls: records its calls, may wait at a gate, may produce nothing.
class FakeProducer : public Thumbnailer
{
public:
    explicit FakeProducer(const QSet<QString>& extensions) : extensions(extensions) {}

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    void jobStarting() override { ++starts; }

    tThumbnailPages generate(QFile& file) override
    {
        calls << file.fileName();
        if (calls.size() == blockAtCall) {
            entered.release();
            gate.acquire();
        }
        return produceNothing ? tThumbnailPages{} : tThumbnailPages{{1, file.fileName() + ".thumb"}};
    }
    QSet<QString> extensions;
    QStringList calls; // written by the worker; read only once it is done or gone
    int blockAtCall = 0;
    std::atomic<bool> produceNothing{false};
    std::atomic<int> starts{0};
    QSemaphore entered;
    QSemaphore gate;
};

// Everything the engine reports, in order of arrival on the test's thread.
struct Recorder : QObject
{
    explicit Recorder(ThumbEngine& engine)
    {
        connect(&engine, &ThumbEngine::sigStatus, this,
                [this](auto status, const QVariant& data) { statuses[status] << data; });
        connect(&engine, &ThumbEngine::sigGenerated, this, [this](auto files) { generated << files; });
        connect(&engine, &ThumbEngine::sigDone, this, [this](auto status) { done << status; });
        connect(&engine, &ThumbEngine::sigFileDone, this, [this](const FileReport& report) {
            reports << report;
            if (report.pages.isEmpty())
                none << report.source;
        });
    }

    QMap<ThumbEngine::SigStatus, QVariantList> statuses;
    QList<ThumbEngine::ThumbnailFiles> generated;
    Statuses done;
    QStringList none;
    QList<FileReport> reports;
};

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        temp = std::make_unique<QTemporaryDir>();
        QFile::setPermissions(temp->path(), QFile::permissions(temp->path()) | QFile::ExeGroup | QFile::ExeOther); // open to all
        pdf = new FakeProducer({QStringLiteral("pdf")});
        picture = new FakeProducer({QStringLiteral("jpg")});
        engine = std::make_unique<ThumbEngine>(QMap<qint32, Thumbnailer*>{{Pdf, pdf}, {Picture, picture}});
        recorder = std::make_unique<Recorder>(*engine);
        engine->start();
    }
    void cleanup()
    {
        if (pdf)
            pdf->gate.release(100);
        engine.reset(); // quits
    }
    void gathering_data()
    {
        QTest::addColumn<QStringList>("files");      // created below the temporary folder
        QTest::addColumn<QStringList>("chosen");     // {d} is the temporary folder
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QStringList>("processed");  // relative, sorted
        QTest::addColumn<int>("foundReports");
        QTest::addRow("empty paths") << QStringList{} << QStringList{} << false << QStringList{} << 0;
        QTest::addRow("not recursive, suffix case ignored, other suffixes left")
            << QStringList{"A.PDF", "b.pdf", "c.Jpg", "d.txt", "sub/deep.pdf"} << QStringList{"{d}"}
            << false << QStringList{"A.PDF", "b.pdf", "c.Jpg"} << 3;
        QTest::addRow("recursive, hidden entries skipped")
            << QStringList{"top.pdf", "sub/x/deeper.jpg", ".hidden.pdf", ".dir/in.pdf"} << QStringList{"{d}"}
            << true << QStringList{"sub/x/deeper.jpg", "top.pdf"} << 2;
        QTest::addRow("chosen files: any suffix, missing, unreadable or no file reported, one file once as first reached")
            << QStringList{"a.pdf", "notes.doc", "fifo.jpg", "zero.pdf", "locked.pdf"}
            << QStringList{"{d}/gone.pdf", "{d}/notes.doc", "{d}/a.pdf", "{d}/a.pdf", "{d}", "{d}/./a.pdf", "{d}/fifo.jpg", "{d}/no/../gone.pdf"}
            << false << QStringList{"a.pdf", "fifo.jpg", "gone.pdf", "locked.pdf", "notes.doc", "zero.pdf"} << 4;
    }
    void gathering()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, chosen);
        QFETCH(bool, recursive);
        QFETCH(QStringList, processed);
        QFETCH(int, foundReports);
        for (const QString& f : files)
            touch(f);
        // Root reads any file: the worker gives that up (for files only) once the job's files are gathered.
        connect(engine.get(), &ThumbEngine::sigStatus, engine.get(), [](ThumbEngine::SigStatus status) {
            if (status == ThumbEngine::KNumFiles)
                ::setfsuid(65534);
        }, Qt::DirectConnection);
        startJob(chosen.replaceInStrings(QStringLiteral("{d}"), temp->path()), recursive);
        QTRY_COMPARE_WITH_TIMEOUT(recorder->done, Statuses{ThumbEngine::KFinished}, 10000);
        QCOMPARE(recorder->statuses.value(ThumbEngine::KNumFiles), QVariantList{processed.size()});
        QCOMPARE(recorder->statuses.value(ThumbEngine::KFileFound).size(), foundReports);
        QStringList current; // cut by hand: "./a.pdf" must stay a string of its own
        for (const QVariant& path : recorder->statuses.value(ThumbEngine::KCurrentFile))
            current << path.toString().mid(temp->path().size() + 1);
        current.sort();
        QCOMPARE(current, processed);
        const auto failure = [](const QString& name) { // no producer takes .doc here
            return name.contains("gone") ? FileReport::NotFound : name.contains(QRegularExpression("fifo|zero")) ? FileReport::NotAFile : name.endsWith(".doc") ? FileReport::NotSupported
                : name.contains("locked") ? FileReport::NotReadable : FileReport::None; };
        const QStringList made = processed.filter(QRegularExpression("^(?!gone|fifo|zero|locked)")); // the readable regular files
        QCOMPARE(pdf->calls.size(), made.filter(QStringLiteral(".pdf"), Qt::CaseInsensitive).size());
        QCOMPARE(picture->calls.size(), made.filter(QStringLiteral(".jpg"), Qt::CaseInsensitive).size());
        QCOMPARE(recorder->none.size(), processed.size() - recorder->generated.size());
        QCOMPARE(recorder->reports.size(), processed.size());
        for (const FileReport& report : recorder->reports)
            QCOMPARE(report.failure, failure(report.source));
    }
    void stopDuringGathering()
    {
        for (int i = 0; i < 5; ++i)
            touch(QStringLiteral("f%1.pdf").arg(i));
        // Stop from the worker itself at the first find, so the moment is exact.
        connect(engine.get(), &ThumbEngine::sigStatus, engine.get(), [this](ThumbEngine::SigStatus status) {
            if (status == ThumbEngine::KFileFound)
                engine->stop();
        }, Qt::DirectConnection);
        startJob({temp->path()});
        QTRY_COMPARE_WITH_TIMEOUT(recorder->done, Statuses{ThumbEngine::KStopped}, 10000);
        QCOMPARE(recorder->statuses.value(ThumbEngine::KFileFound).size(), 1);
        QVERIFY(!recorder->statuses.contains(ThumbEngine::KNumFiles) && pdf->calls.isEmpty());
    }
    // A stop ends the job after the file in hand (still reported); a job started next runs whole.
    void jobStartedRightAfterStop()
    {
        for (int i = 0; i < 5; ++i)
            touch(QStringLiteral("old/f%1.pdf").arg(i));
        const QString fresh = touch(QStringLiteral("new/fresh.pdf"));
        const QString empty = touch(QStringLiteral("new/b.jpg"));
        picture->produceNothing = true;
        pdf->blockAtCall = 2;
        startJob({temp->filePath(QStringLiteral("old"))}, false, {"PDF", "jpg"});
        QVERIFY(pdf->entered.tryAcquire(1, 10000));
        engine->stop();
        startJob({temp->filePath(QStringLiteral("new"))});
        pdf->gate.release();
        QTRY_COMPARE_WITH_TIMEOUT(recorder->done, (Statuses{ThumbEngine::KStopped, ThumbEngine::KFinished}), 10000);
        QCOMPARE(recorder->generated.value(2).value(fresh), QSet<QString>{fresh + ".thumb"});
        // A file that gave nothing is reported as such, never as generated.
        QCOMPARE(recorder->none, QStringList{empty});
        for (const FileReport& report : recorder->reports.mid(recorder->reports.size() - 2)) {
            const bool made = report.source == fresh;
            QCOMPARE(report.pages.value(1), made ? fresh + ".thumb" : QString());
            QCOMPARE(report.pages.size(), made ? 1 : 0);
            QCOMPARE(report.failure, made ? FileReport::None : FileReport::Unknown);
        }
        engine->stop(); // a stop between jobs is cleared by the next start
        startJob({fresh}, false, {"PDF"});
        QTRY_COMPARE_WITH_TIMEOUT(recorder->done.size(), 3, 10000);
        QCOMPARE(recorder->done.last(), ThumbEngine::KFinished);
        // Each job starts the producers of the families it holds, and only those.
        QCOMPARE(pdf->starts.load(), 3);
        QCOMPARE(picture->starts.load(), 1);
        // Between jobs, the window's next families start alone.
        engine->prepare({QStringLiteral("JPG")});
        QTRY_COMPARE_WITH_TIMEOUT(picture->starts.load(), 2, 10000);
        QCOMPARE(pdf->starts.load(), 3);
    }
    // Three shares of a tree: each file in exactly one, the same one through another path to it.
    void shards()
    {
        QStringList files; // relative to the tree
        for (int i = 0; i < 100; ++i)
            files << touch(QStringLiteral("tree/d%1/f%2.pdf").arg(i % 7).arg(i)).mid(temp->filePath("tree/").size());
        files.sort();
        QVERIFY(QFile::link(temp->filePath("tree"), temp->filePath("mount")));
        QHash<QString, int> shareOf;
        int jobs = 0;
        for (const QString root : {"tree", "mount", ""}) { // "": every file named on its own
            const QString base = temp->filePath((root.isEmpty() ? QStringLiteral("tree") : root) + "/");
            QStringList covered;
            for (int k = 1; k <= 3; ++k) {
                ThumbJob job;
                job.extensions = QStringList{"pdf"};
                job.recursive = true;
                job.shard = {k, 3};
                job.paths = root.isEmpty() ? QStringList(files).replaceInStrings(QRegularExpression("^"), base) : QStringList{base};
                recorder->statuses.clear();
                engine->startJob(job);
                ++jobs;
                QTRY_COMPARE_WITH_TIMEOUT(recorder->done.size(), jobs, 10000);
                const QVariantList current = recorder->statuses.value(ThumbEngine::KCurrentFile);
                QVERIFY(current.size() > 5); // spread over the shares
                for (const QVariant& path : current) {
                    covered << path.toString().mid(base.size());
                    if (!root.isEmpty())
                        QCOMPARE(shareOf.value(covered.last(), k), k);
                    shareOf.insert(covered.last(), k);
                }
            }
            covered.sort();
            QCOMPARE(covered, files);
        }
    }
    void quitWhileProducerRuns()
    {
        touch(QStringLiteral("a.pdf"));
        touch(QStringLiteral("b.pdf"));
        const QPointer<FakeProducer> watch(pdf);
        pdf->blockAtCall = 1;
        startJob({temp->path()});
        QVERIFY(pdf->entered.tryAcquire(1, 10000));
        // Let the producer finish only after quit has begun: quit must wait for it.
        std::thread releaser([this] {
            QThread::yieldCurrentThread();
            pdf->gate.release();
        });
        engine->quit(); // alone: ends the job after the file in hand, like stop
        releaser.join();
        QVERIFY(engine->isFinished());
        QVERIFY(watch.isNull()); // the producers are released
        pdf = nullptr;
        QCoreApplication::processEvents();
        QVERIFY(recorder->done.isEmpty()); // no sigDone once quit was asked for
        QCOMPARE(recorder->statuses.value(ThumbEngine::KCurrentFile).size(), 1);
    }

private:
    QString touch(const QString& relative)
    {
        const QString path = temp->filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QString name = QFileInfo(path).fileName(); // fifo* and zero* are no regular files
        name.startsWith("fifo") ? ::mkfifo(qPrintable(path), 0600) : name.startsWith("zero") ? QFile::link("/dev/zero", path) : writeFile(path, "x").size();
        if (name.startsWith("locked"))
            QFile::setPermissions(path, {});
        return path;
    }
    void startJob(const QStringList& paths, bool recursive = false,
                  const QStringList& extensions = {"pdf", "jpg"})
    {
        ThumbJob job;
        job.extensions = extensions;
        job.paths = paths;
        job.recursive = recursive;
        engine->startJob(job);
    }

    std::unique_ptr<QTemporaryDir> temp;
    std::unique_ptr<ThumbEngine> engine;
    FakeProducer *pdf = nullptr, *picture = nullptr; // owned by engine
    std::unique_ptr<Recorder> recorder;
};

QTEST_MAIN(TestEngine)
#include "tst_engine.moc"
