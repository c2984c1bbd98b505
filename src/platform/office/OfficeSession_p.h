#pragma once

#include "DeadlineRunner.h"
#include "OfficeProcess.h"
#include "OfficeResult.h"

#include <QDeadlineTimer>
#include <QString>
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

    OfficeResult<bool> ensureRunning();
    void launch();
    // Thread-safe: kills the office process group and refuses every later call and start.
    void abort();
    // Ends the office process; graceful asks it to terminate before killing its group.
    void stopProcess(bool graceful);
    bool processRunning() const { return process && process->isRunning(); }
    qint64 processId() const { return processRunning() ? process->group() : 0; }
    // True while the process that served the given generation still serves.
    bool serves(quint64 processGeneration) const;

    // Runs work within the call time limit (timeoutMs when given) and the memory limit.
    // On overrun the office process group is killed, which makes the pending UNO call
    // fail. work may outlive this call after a time-out: it must capture by value.
    OfficeResult<bool> run(const QString& what, const std::function<void()>& work,
                           int timeoutMs = -1);

    template<typename Result>
    OfficeResult<Result> call(const QString& what, const std::function<Result()>& work,
                              int timeoutMs = -1)
    {
        auto result = std::make_shared<Result>();
        const OfficeResult<bool> done = run(
            what, [result, work] { *result = work(); }, timeoutMs);
        if (!done.ok())
            return OfficeResult<Result>::failure(done.error);
        return {*result, QString()};
    }

    QString programDir;
    int callTimeoutMs;
    qint64 memoryLimitMiB;
    int documentsPerProcess;
    // Documents loaded by the current office process.
    int documentsLoaded = 0;

    css::uno::Reference<css::uno::XComponentContext> remoteContext;
    css::uno::Reference<css::frame::XDesktop2> desktop;
    // Counts process starts; documents remember the one that loaded them.
    quint64 generation = 0;

private:
    OfficeResult<bool> bootstrap();
    OfficeResult<bool> startProcess(const QDeadlineTimer& deadline);
    OfficeResult<bool> connect(const QDeadlineTimer& deadline);

    QThread* const owner;
    const DeadlineRunner runner;
    css::uno::Reference<css::uno::XComponentContext> localContext;
    std::unique_ptr<OfficeProcess> process;
    // Started by launch() and not yet connected.
    bool launched = false;
    bool broken = false;
    std::atomic<bool> aborted {false};
    // The process group, for abort() on another thread.
    std::atomic<qint64> liveGroup {0};
};
