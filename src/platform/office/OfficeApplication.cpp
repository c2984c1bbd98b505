#include "OfficeApplication.h"

#include "OfficeSession.h"

std::unique_ptr<OfficeApplication> OfficeApplication::attach(OfficeSession& session)
{
    if (!session.ensureRunning().ok())
        return nullptr;
    return std::unique_ptr<OfficeApplication>(new OfficeApplication(session));
}

OfficeApplication::OfficeApplication(OfficeSession& session)
    : openDocuments(session)
{
}

OfficeApplication::~OfficeApplication()
{
    quit();
}

void OfficeApplication::setVisible(bool visible)
{
    Q_UNUSED(visible)
}

void OfficeApplication::setDisplayAlerts(bool displayAlerts)
{
    Q_UNUSED(displayAlerts)
}

OfficeDocuments& OfficeApplication::documents()
{
    return openDocuments;
}

void OfficeApplication::quit()
{
    openDocuments.closeAll();
}
