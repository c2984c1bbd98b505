#include "DeadlineRunner.h"

#include <QDeadlineTimer>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

DeadlineRunner::DeadlineRunner(Check check, GiveUp giveUp, int pollMs)
    : check(std::move(check))
    , giveUp(std::move(giveUp))
    , pollMs(pollMs)
{
}

DeadlineRunner::Result DeadlineRunner::run(const std::function<void()>& work, int timeoutMs) const
{
    // Shared with the helper, which may outlive this call.
    struct State
    {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        std::exception_ptr exception;
    };
    const auto state = std::make_shared<State>();
    std::thread helper;
    try {
        helper = std::thread([state, work] {
            std::exception_ptr exception;
            try {
                work();
            } catch (...) {
                exception = std::current_exception();
            }
            const std::lock_guard<std::mutex> lock(state->mutex);
            state->exception = exception;
            state->done = true;
            state->finished.notify_all();
        });
    } catch (...) {
        return {QString(), std::current_exception()};
    }

    const auto waitDone = [&state](qint64 ms) {
        std::unique_lock<std::mutex> lock(state->mutex);
        return state->finished.wait_for(lock, std::chrono::milliseconds(ms),
                                        [&state] { return state->done; });
    };
    const QDeadlineTimer deadline(timeoutMs);
    QString fault;
    while (fault.isEmpty()) {
        if (waitDone(0)) {
            helper.join();
            return {QString(), state->exception};
        }
        fault = check();
        if (fault.isEmpty() && deadline.hasExpired())
            fault = QStringLiteral("took longer than %1 ms").arg(timeoutMs);
        else if (fault.isEmpty())
            waitDone(qMin(qint64(pollMs), deadline.remainingTime()));
    }
    if (waitDone(giveUp()))
        helper.join();
    else
        helper.detach();
    return {fault, nullptr};
}
