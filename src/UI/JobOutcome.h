#pragma once

#include <QCoreApplication>
#include <QString>

// What a job gave when it ended, and how the window tells it.
struct JobOutcome
{
    Q_DECLARE_TR_FUNCTIONS(JobOutcome)

public:
    bool stopped = false;
    qint64 elapsedMs = 0;
    int files = 0; // handled by the engine
    int thumbnails = 0;
    int filesWithout = 0; // files that gave no thumbnail
    int upToDate = 0; // sources passed over as up to date
    int passedOver = 0; // Miravel's own thumbnails among the sources

    // "Finished in 12 s (20 files a second). Thumbnails made: 240. Files that gave none: 0.",
    // with "Up to date: K." and "Passed over: P." where there are any.
    QString summary() const;
    // The tray's message: how the job ended, then the summary.
    QString balloon() const;
};
