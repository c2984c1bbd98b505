#pragma once

#include <QString>

#include <exception>
#include <functional>

// Runs work on a helper thread and waits for it within a time limit, asking at intervals
// whether to give up early. Work that does not return after the runner gave up is left
// to finish on its own, so it must own all it touches (capture by value).
class DeadlineRunner
{
public:
    struct Result
    {
        // Why the runner gave up: the time limit or the check's answer; empty when the
        // work returned.
        QString fault;
        // What the work threw when it returned by throwing.
        std::exception_ptr exception;
    };
    // Why to give up at once; empty to keep waiting.
    using Check = std::function<QString()>;
    // Called once on giving up, to make the work return; answers how long to wait for it.
    using GiveUp = std::function<int()>;

    DeadlineRunner(Check check, GiveUp giveUp, int pollMs);

    [[nodiscard]] Result run(const std::function<void()>& work, int timeoutMs) const;

private:
    Check check;
    GiveUp giveUp;
    int pollMs;
};
