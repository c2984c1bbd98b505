#include "ThumbEngine.h"
#include "TestSupport.h"

#include <QDir>
#include <QMutex>
#include <QPointer>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// A producer the test controls: records its calls, may wait at a gate, may produce nothing.
class FakeProducer : public Thumbnailer
{
public:
    explicit FakeProducer(const QSet<QString>& extensions) : extensions(extensions) {}

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    void jobStarting() override { ++starts; }

    tThumbnailPages generate(QFile& file) override
    {
        QMutexLocker lock(&mutex);
        calls << file.fileName();
        if (calls.size() == blockAtCall) {
            lock.unlock();
            entered.release();
            gate.acquire();
        }
        if (produceNothing)
            return {};
        return {{1, file.fileName() + QStringLiteral(".thumb")}};
    }

    QStringList seen() const
    {
        QMutexLocker lock(&mutex);
        return calls;
    }

    QSet<QString> extensions;
    int blockAtCall = 0;
    bool produceNothing = false;
    std::atomic<int> starts{0};
    QSemaphore entered;
    QSemaphore gate;

private:
    mutable QMutex mutex;
    QStringList calls;
};

// Everything the engine reports, in order of arrival on the test's thread.
class Recorder : public QObject
{
public:
    explicit Recorder(ThumbEngine& engine)
    {
        connect(&engine, &ThumbEngine::sigStatus, this,
                [this](ThumbEngine::SigStatus status, const QVariant& data) {
                    if (status == ThumbEngine::KNumFiles)
                        numFiles << data.toInt();
                    else if (status == ThumbEngine::KCurrentFile)
                        current << data.toString();
                    else
                        found << data.toString();
                });
        connect(&engine, &ThumbEngine::sigGenerated, this,
                [this](const ThumbEngine::ThumbnailFiles& files) { generated << files; });
        connect(&engine, &ThumbEngine::sigDone, this,
                [this](ThumbEngine::ThumbStatus status) { done << status; });
        connect(&engine, &ThumbEngine::sigNoThumbnails, this,
                [this](const QString& path) { none << path; });
    }

    QList<int> numFiles;
    QStringList current;
    QStringList found;
    QList<ThumbEngine::ThumbnailFiles> generated;
    QList<ThumbEngine::ThumbStatus> done;
    QStringList none;
};

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<ThumbEngine::SigStatus>("ThumbEngine::SigStatus");
        qRegisterMetaType<ThumbEngine::ThumbStatus>("ThumbEngine::ThumbStatus");
        qRegisterMetaType<ThumbEngine::ThumbnailFiles>("ThumbEngine::ThumbnailFiles");
    }
    void init()
    {
        temp = std::make_unique<QTemporaryDir>();
        dir = QDir(temp->path());
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
        recorder.reset();
        pdf = picture = nullptr;
    }
    void gathering_data();
    void gathering();
    void stopDuringGathering();
    void jobStartedRightAfterStop();
    void secondJobAfterDone();
    void quitWhileProducerRuns();

private:
    QString touch(const QString& relative)
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile(path).open(QIODevice::WriteOnly);
        return path;
    }
    void startJob(const QStringList& paths, bool recursive = false,
                  const QStringList& extensions = {"pdf", "jpg"})
    {
        ThumbJob job;
        job.paths = paths;
        job.recursive = recursive;
        job.extensions = extensions;
        engine->startJob(job);
    }

    std::unique_ptr<QTemporaryDir> temp;
    QDir dir;
    std::unique_ptr<ThumbEngine> engine;
    FakeProducer* pdf = nullptr;      // owned by engine
    FakeProducer* picture = nullptr;  // owned by engine
    std::unique_ptr<Recorder> recorder;
};

void TestEngine::gathering_data()
{
    QTest::addColumn<QStringList>("files");      // created below the temporary folder
    QTest::addColumn<QStringList>("chosen");     // relative to it; "." is the folder itself
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("processed");  // relative, sorted
    QTest::addColumn<int>("foundReports");

    QTest::addRow("empty paths") << QStringList{} << QStringList{} << false << QStringList{} << 0;
    QTest::addRow("suffix case ignored, other suffixes left")
        << QStringList{"A.PDF", "b.pdf", "c.Jpg", "d.txt"} << QStringList{"."} << false
        << QStringList{"A.PDF", "b.pdf", "c.Jpg"} << 3;
    QTest::addRow("not recursive")
        << QStringList{"top.pdf", "sub/deep.pdf"} << QStringList{"."} << false
        << QStringList{"top.pdf"} << 1;
    QTest::addRow("recursive, hidden entries skipped")
        << QStringList{"top.pdf", "sub/x/deeper.jpg", ".hidden.pdf", ".dir/in.pdf"} << QStringList{"."}
        << true << QStringList{"sub/x/deeper.jpg", "top.pdf"} << 2;
    QTest::addRow("chosen file taken whatever its suffix, missing one skipped")
        << QStringList{"notes.doc"} << QStringList{"gone.pdf", "notes.doc"} << false
        << QStringList{"notes.doc"} << 0;
    QTest::addRow("duplicates collapse")
        << QStringList{"a.pdf"} << QStringList{"a.pdf", "a.pdf", "."} << false
        << QStringList{"a.pdf"} << 1;
    QTest::addRow("different strings for one file stay apart")
        << QStringList{"a.pdf"} << QStringList{"a.pdf", "./a.pdf"} << false
        << QStringList{"./a.pdf", "a.pdf"} << 0;
}

void TestEngine::gathering()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, chosen);
    QFETCH(bool, recursive);
    QFETCH(QStringList, processed);
    QFETCH(int, foundReports);
    for (const QString& f : files)
        touch(f);
    QStringList paths;
    for (const QString& c : chosen)
        paths << (c == QLatin1String(".") ? dir.path() : dir.path() + QLatin1Char('/') + c);
    startJob(paths, recursive);
    QTRY_COMPARE_WITH_TIMEOUT(recorder->done, QList<ThumbEngine::ThumbStatus>{ThumbEngine::KFinished}, 10000);
    QCOMPARE(recorder->numFiles, QList<int>{processed.size()});
    QCOMPARE(recorder->found.size(), foundReports);
    // Cut the folder off by hand: "./a.pdf" must stay a string of its own.
    QStringList current;
    for (const QString& path : qAsConst(recorder->current))
        current << path.mid(dir.path().size() + 1);
    current.sort();
    QCOMPARE(current, processed);
    // Each file goes to the producer of its suffix; one without a producer gives none.
    QCOMPARE(pdf->seen().size(), processed.filter(QStringLiteral(".pdf"), Qt::CaseInsensitive).size());
    QCOMPARE(picture->seen().size(), processed.filter(QStringLiteral(".jpg"), Qt::CaseInsensitive).size());
    QCOMPARE(recorder->generated.size(), pdf->seen().size() + picture->seen().size());
    QCOMPARE(recorder->none.size(), processed.size() - recorder->generated.size());
}

void TestEngine::stopDuringGathering()
{
    for (int i = 0; i < 5; ++i)
        touch(QStringLiteral("f%1.pdf").arg(i));
    // Stop from the worker itself at the first find, so the moment is exact.
    connect(engine.get(), &ThumbEngine::sigStatus, engine.get(),
            [this](ThumbEngine::SigStatus status) {
                if (status == ThumbEngine::KFileFound)
                    engine->stop();
            },
            Qt::DirectConnection);
    startJob({dir.path()});
    QTRY_COMPARE_WITH_TIMEOUT(recorder->done, QList<ThumbEngine::ThumbStatus>{ThumbEngine::KStopped}, 10000);
    QCOMPARE(recorder->found.size(), 1);
    QVERIFY(recorder->numFiles.isEmpty() && pdf->seen().isEmpty());
}

// A stop ends the job after the file in hand, whose thumbnail is still reported; a job
// started right after runs whole.
void TestEngine::jobStartedRightAfterStop()
{
    for (int i = 0; i < 5; ++i)
        touch(QStringLiteral("old/f%1.pdf").arg(i));
    const QString fresh = touch(QStringLiteral("new/fresh.pdf"));
    pdf->blockAtCall = 2;
    startJob({dir.filePath(QStringLiteral("old"))});
    QVERIFY(pdf->entered.tryAcquire(1, 10000));
    engine->stop();
    startJob({dir.filePath(QStringLiteral("new"))});
    pdf->gate.release();
    QTRY_COMPARE_WITH_TIMEOUT(recorder->done.size(), 2, 10000);
    QCOMPARE(recorder->done, (QList<ThumbEngine::ThumbStatus>{ThumbEngine::KStopped, ThumbEngine::KFinished}));
    QCOMPARE(pdf->seen().size(), 3);
    QCOMPARE(pdf->seen().last(), fresh);
    QCOMPARE(recorder->generated.size(), 3);
    QCOMPARE(recorder->generated.at(1).firstKey(), pdf->seen().at(1));
}

void TestEngine::secondJobAfterDone()
{
    touch(QStringLiteral("a.pdf"));
    touch(QStringLiteral("b.jpg"));
    pdf->produceNothing = true;
    startJob({dir.path()});
    QTRY_COMPARE_WITH_TIMEOUT(recorder->done.size(), 1, 10000);
    // A file that gave nothing is reported as such, never as generated.
    QCOMPARE(recorder->none, QStringList{dir.filePath(QStringLiteral("a.pdf"))});
    QCOMPARE(recorder->generated.size(), 1);
    QCOMPARE(recorder->generated.first().value(dir.filePath(QStringLiteral("b.jpg"))),
             QSet<QString>{dir.filePath(QStringLiteral("b.jpg.thumb"))});

    pdf->produceNothing = false;
    engine->stop(); // a stop between jobs is cleared by the next start
    startJob({dir.path()}, false, {"PDF"});
    QTRY_COMPARE_WITH_TIMEOUT(recorder->done.size(), 2, 10000);
    QCOMPARE(recorder->done, (QList<ThumbEngine::ThumbStatus>{ThumbEngine::KFinished, ThumbEngine::KFinished}));
    QCOMPARE(recorder->generated.size(), 2);
    // Each job starts the producers of the families it may hold, and only those.
    QCOMPARE(pdf->starts.load(), 2);
    QCOMPARE(picture->starts.load(), 1);
}

void TestEngine::quitWhileProducerRuns()
{
    touch(QStringLiteral("a.pdf"));
    touch(QStringLiteral("b.pdf"));
    const QPointer<FakeProducer> watch(pdf);
    pdf->blockAtCall = 1;
    startJob({dir.path()});
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
    QCOMPARE(recorder->current.size(), 1);
}

QTEST_MAIN(TestEngine)
#include "tst_engine.moc"
