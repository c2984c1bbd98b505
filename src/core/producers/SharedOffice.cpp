#include "producers/SharedOffice.h"

#include "OfficeSession.h"

SharedOffice::SharedOffice(const QString& programDir)
    : programDir(programDir)
{
}

SharedOffice::~SharedOffice() = default;

OfficeSession& SharedOffice::session()
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (!current) {
        current = std::make_unique<OfficeSession>(programDir);
        if (aborted)
            current->abort();
    }
    return *current;
}

void SharedOffice::release()
{
    std::unique_ptr<OfficeSession> ending;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ending = std::move(current);
    }
}

void SharedOffice::abort()
{
    const std::lock_guard<std::mutex> lock(mutex);
    aborted = true;
    if (current)
        current->abort();
}
