#pragma once

#include "job/FileReport.h"
#include "job/ThumbJob.h"
#include "producers/Thumbnailer.h"

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QVariant>
#include <QWaitCondition>

#include <atomic>

class QFileInfo;

// The one worker thread: gathers a job's files and hands each to its producer.
class ThumbEngine : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(ThumbEngine)

public:
    enum SigStatus : qint32 {
        KNumFiles = 0,
        KCurrentFile = 1,
        KFileFound = 2
    };
    Q_ENUM(SigStatus)

    enum ThumbStatus : qint32 {
        KFinished = 0,
        KStopped = 1
    };
    Q_ENUM(ThumbStatus)

    typedef QMap<QString, QSet<QString>> ThumbnailFiles;

    ThumbEngine();
    // Runs with the given producers instead of the standard set; takes ownership.
    explicit ThumbEngine(const QMap<qint32, Thumbnailer*>& producers);
    ~ThumbEngine() override;

    void setPdf2PngPath(const QString& path);
    void startJob(const ThumbJob& newJob);
    // Starts, in the background, what files of these suffixes will need (the office), so
    // that a job started soon after does not wait for it. Ignored while a job runs.
    void prepare(const QStringList& extensions);
    void stop();
    // As stop(), and cuts the file in hand short where its producer can abort (an office
    // call). Such a producer does no more work. Does not wait.
    void abort();
    // Ends the job as abort() does, waits for the worker, then releases the producers.
    void quit();

signals:
    void sigStatus(ThumbEngine::SigStatus status, QVariant data);
    void sigGenerated(ThumbEngine::ThumbnailFiles files);
    void sigDone(ThumbEngine::ThumbStatus status);
    // Every file of the job once it is done with: its thumbnails by page, or why it has
    // none. Comes after the file's sigGenerated.
    void sigFileDone(FileReport report);

protected:
    void run() override;

private:
    void applySettings();
    // Lets the producer of files of this suffix start its slow parts, once per job.
    void startProducer(const QString& suffix);
    bool gatherFiles(QSet<QString>& files);
    void scanFolder(const QString& folder, QSet<QString>& files);
    // Adds a path to the job's files; the first file of a family starts its producer.
    void addFile(const QString& path, const QFileInfo& info, QSet<QString>& files);
    qint32 typeForSuffix(const QString& suffix);
    void processFile(const QString& path);
    void releaseProducers();
    // The running job must end: stop or quit was asked for, or a newer job is waiting.
    bool isStopping() const;

    std::atomic<bool> stopRequested {false};
    std::atomic<bool> quitRequested {false};
    QMutex mutex;
    QWaitCondition jobReady;
    ThumbJob job;
    QMap<qint32, Thumbnailer*> producers;
    QHash<QString, qint32> suffixCache;
    QString currentFile;
    QSet<Thumbnailer*> started; // producers told of the job in hand; worker only
    ThumbJob pendingJob; // handed over under mutex
    std::atomic<bool> jobPending {false}; // written under mutex, polled without it
    QStringList pendingPreparation; // under mutex; empty when none is asked for
};

bool isExcelAvailable();
bool isPowerPointAvailable();
bool isWordAvailable();

Q_DECLARE_METATYPE(ThumbEngine::ThumbnailFiles)
Q_DECLARE_METATYPE(Thumbnailer::tThumbnailPages)
