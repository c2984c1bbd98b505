#pragma once

#include "OfficeResult.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class GroupProcess;

// One headless office process, leading a process group of its own, with a private area
// (profile, temporary folder) and a pipe of its own to connect to. A watchdog in its group
// kills the group when this program ends, however it ends. Destroying it ends the group
// and removes what the office leaves behind.
class OfficeProcess
{
    Q_DISABLE_COPY(OfficeProcess)

public:
    // Starts the office of programDir without waiting for it to listen.
    static OfficeResult<std::unique_ptr<OfficeProcess>> launch(const QString& programDir,
                                                               const QDeadlineTimer& deadline);
    ~OfficeProcess();

    qint64 group() const { return processGroup; }
    // The UNO URL the office accepts connections on.
    QString connectUrl() const;
    bool isRunning() const;
    int lastExitCode() const;
    // Waits at most ms for the process to end; true when it ended.
    bool waitForExit(int ms);
    // Resident memory of the whole group.
    qint64 residentMiB() const;
    // Kills the whole group at once.
    void killAll();

private:
    OfficeProcess() = default;

    std::unique_ptr<QTemporaryDir> area;
    std::unique_ptr<GroupProcess> process;
    QString pipeName;
    qint64 processGroup = 0;
    QStringList pipeFiles;
};
