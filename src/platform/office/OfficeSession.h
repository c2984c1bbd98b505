#pragma once

#include "OfficeResult.h"

#include <QString>
#include <QtGlobal>

#include <memory>

class OfficeSessionPrivate;

// One headless office process shared by every document: started on first use, kept warm
// between documents, restarted when it died, ended with the session. A session is
// created, used and destroyed on one thread (abort() excepted). Applications and
// documents that outlive their session do nothing.
class OfficeSession
{
    Q_DISABLE_COPY(OfficeSession)

public:
    static constexpr int DefaultCallTimeoutMs = 60000;
    // Resident memory the office's processes may take together before they are killed: a
    // hostile document inflates to gigabytes, while a busy office stays far below 1 GiB.
    static constexpr qint64 DefaultMemoryLimitMiB = 2048;
    // Documents one office process loads before a fresh one replaces it: its memory creeps
    // up by some 70 kB a document.
    static constexpr int DefaultDocumentsPerProcess = 200;

    // programDir: the office's program folder; empty for the installed office.
    explicit OfficeSession(const QString& programDir = QString());
    // Ends the office process.
    ~OfficeSession();

    // Time limit of each office call (load, export, close). A call that overruns kills the
    // office process; the next document gets a fresh one.
    void setCallTimeoutMs(int ms);
    // Memory limit of the office process group, checked while each call waits. A call that
    // passes it kills the office process; the next document gets a fresh one.
    void setMemoryLimitMiB(qint64 mib);
    // Documents per office process; the process is replaced before the next one.
    void setDocumentsPerProcess(int documents);

    // Makes sure the office process is up and connected, starting it when needed.
    OfficeResult<bool> ensureRunning();
    // Starts the office process, when none runs, without waiting for it to answer: its
    // start overlaps other work, and ensureRunning() connects to it. A failed start costs
    // only the documents that need it.
    void launch();
    // May be called from any thread: kills the office process group at once, makes a
    // pending call fail and refuses every later call and start.
    void abort();
    // Id of the office process, which leads its own process group; 0 when none runs.
    qint64 processId() const;

private:
    friend class OfficeApplication;
    friend class OfficeDocuments;

    std::shared_ptr<OfficeSessionPrivate> d;
};
