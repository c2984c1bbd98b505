#pragma once

#include "GroupProcess.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <atomic>
#include <functional>
#include <memory>

class OfficeSessionPrivate
{
    Q_DISABLE_COPY(OfficeSessionPrivate)

public:
    explicit OfficeSessionPrivate(const QString& programDir);
    ~OfficeSessionPrivate();

    bool ensureRunning();
    void launch();
    // Thread-safe: kills the office process group and refuses every later call and start.
    void abort();
    // Ends the office process; graceful asks it to terminate before killing its group.
    void stopProcess(bool graceful);
    bool processRunning() const;
    qint64 processId() const { return processGroup; }
    // True while the process that served the given generation still serves.
    bool serves(quint64 processGeneration) const;

    // Runs work on a helper thread and waits at most timeoutMs (the call time limit when
    // negative). On overrun the office process group is killed, which makes the pending
    // UNO call fail. Throws OfficeAutomationError on time-out or any exception of work.
    // work may outlive this call after a time-out: it must capture by value.
    void run(const QString& what, const std::function<void()>& work, int timeoutMs = -1);

    template<typename Result>
    Result call(const QString& what, const std::function<Result()>& work, int timeoutMs = -1)
    {
        auto result = std::make_shared<Result>();
        run(what, [result, work] { *result = work(); }, timeoutMs);
        return *result;
    }

    void fail(const QString& message);

    QString programDir;
    int callTimeoutMs;
    int startTimeoutMs;
    qint64 memoryLimitMiB;
    int documentsPerProcess;
    QString lastError;
    // Documents loaded by the current office process.
    int documentsLoaded = 0;

    css::uno::Reference<css::uno::XComponentContext> remoteContext;
    css::uno::Reference<css::frame::XDesktop2> desktop;
    // Counts process starts; documents remember the one that loaded them.
    quint64 generation = 0;

private:
    bool bootstrap();
    bool startProcess();
    // Starts the office process without connecting to it; answers the pipe to connect
    // to, empty when the start failed.
    QString launchProcess(const QDeadlineTimer& deadline);
    bool connect(const QString& pipeName, const QDeadlineTimer& deadline);
    void killProcess();

    QThread* const owner;
    css::uno::Reference<css::uno::XComponentContext> localContext;
    // The office's private area: profile, temporary folder and the record of its group.
    std::unique_ptr<QTemporaryDir> area;
    std::unique_ptr<GroupProcess> process;
    qint64 processGroup = 0;
    QStringList stalePipeFiles;
    // Pipe of a process launch() started, until ensureRunning() connects to it.
    QString launchedPipe;
    bool broken = false;
    std::atomic<bool> aborted{false};
    // processGroup, for abort() on another thread.
    std::atomic<qint64> liveGroup{0};
};
