#pragma once

#include "OfficeDocuments.h"

#include <memory>

class OfficeSession;

// What a producer starts per document: a view of the session's shared office process.
// Quitting closes the documents opened through it; the process stays up for the next one.
class OfficeApplication
{
    Q_DISABLE_COPY(OfficeApplication)

public:
    // Attaches to the session's office process, started and connected first where it is
    // not; none when it cannot be started (the session's ensureRunning() tells why).
    static std::unique_ptr<OfficeApplication> attach(OfficeSession& session);
    // Quits.
    ~OfficeApplication();

    // The office always runs invisible and never shows an alert: both succeed and do
    // nothing.
    void setVisible(bool visible);
    void setDisplayAlerts(bool displayAlerts);

    OfficeDocuments& documents();

    void quit();

private:
    explicit OfficeApplication(OfficeSession& session);

    OfficeDocuments openDocuments;
};
