#include "SharedOffice.h"

#include "OfficeSession.h"

SharedOffice::SharedOffice(const QString& programDir)
    : programDir(programDir)
{
}

SharedOffice::~SharedOffice() = default;

OfficeSession& SharedOffice::session()
{
    if (!current)
        current = std::make_unique<OfficeSession>(programDir);
    return *current;
}

void SharedOffice::release()
{
    current.reset();
}
