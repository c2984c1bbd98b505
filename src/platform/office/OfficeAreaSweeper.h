#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>

// The private areas of office processes in the temporary folder (profile, temporary
// folder, record of the process group and its pipe files) and their removal: at start-up
// for the runs of this program that ended without removing theirs (killed, crashed), at
// exit for the offices still running, should a session never be destroyed.
class OfficeAreaSweeper
{
    Q_DISABLE_COPY(OfficeAreaSweeper)

public:
    // QTemporaryDir template of a new area of this process.
    static QString areaTemplate();
    static QString profileDir(const QString& areaPath);
    static QString profileUrl(const QString& areaPath);
    static QString tempDir(const QString& areaPath);

    // Records the office of an area: read by a later run's sweep, ended at exit.
    static void record(const QString& areaPath, qint64 group, const QStringList& pipeFiles);
    // The office of the group has ended and its area is gone.
    static void forget(qint64 group);
    // Kills the offices of ended runs and removes their areas. An office is killed only
    // when its command line names the area's profile, so no office of a running program
    // or of the user is touched.
    static void sweepOrphans();

private:
    OfficeAreaSweeper() = default;
    ~OfficeAreaSweeper();
    static OfficeAreaSweeper& instance();

    // A session destroyed during exit may come after the sweeper.
    static inline std::atomic<bool> gone {false};
    std::mutex mutex;
    // Office group to what it may leave behind.
    QHash<qint64, QStringList> running;
};
