#pragma once

#include "BatchOptions.h"
#include "TerminationSignals.h"
#include "engine/ThumbEngine.h"

#include <QElapsedTimer>
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
    void onFileDone(const FileReport& report);
    void onDone();
    void onTermination(int signalNumber);
    void writeResult(const FileReport& report);
    void showProgress();
    void clearProgress();

    const BatchOptions options;
    const ThumbJob job;
    ThumbEngine engine;
    TerminationSignals termination;
    QString current; // the file in hand, empty between files
    QStringList failed;
    QStringList passedOver; // Miravel's own thumbnails among the sources
    int upToDate = 0;
    int total = 0;
    int done = 0;
    int stoppedBy = 0; // the termination signal, 0 while none came
    bool progress;
    QElapsedTimer clock;
    QTimer ticker;
};
