#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>

// Removal of the offices' private areas (laid out by OfficeArea): at start-up for the runs
// of this program that ended without removing theirs (killed, crashed), at exit for the
// offices still running, should a session never be destroyed.
class OfficeAreaSweeper
{
    Q_DISABLE_COPY(OfficeAreaSweeper)

public:
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
