#pragma once

#include "BatchOptions.h"
#include "TerminationSignals.h"
#include "engine/ThumbEngine.h"

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTimer>

// Runs one job on the engine without a window and reports each source file on standard
// output as it is done.
class BatchRunner : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(BatchRunner)

public:
    explicit BatchRunner(const BatchOptions& options, QObject* parent = nullptr);
    ~BatchRunner() override;

    // Runs the job to its end (or to a termination signal); answers the exit status.
    int run();

private:
    void onStatus(ThumbEngine::SigStatus status, const QVariant& data);
    void onGenerated(const ThumbEngine::ThumbnailFiles& files);
    void onDone();
    void onTermination(int signalNumber);
    // Reports the file in hand; it made nothing when no sigGenerated came for it.
    void finishFile();
    void writeResult(const QMultiMap<qint32, QString>& pages, const QString& error);
    // The page a thumbnail was written for, found from its name; 0 when none matches (a
    // time token that moved on since it was written).
    qint32 pageOf(const QString& source, const QString& thumbnail) const;
    void showProgress();
    void clearProgress();

    const BatchOptions options;
    const ThumbJob job;
    ThumbEngine engine;
    TerminationSignals termination;
    QString current; // the file in hand, empty between files
    QMultiMap<qint32, QString> currentPages; // by page, 0 where the name tells none
    QStringList failed;
    int total = 0;
    int done = 0;
    int stoppedBy = 0; // the termination signal, 0 while none came
    bool progress;
    QElapsedTimer clock;
    QTimer ticker;
};
