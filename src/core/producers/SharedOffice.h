#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class OfficeSession;

// The one office session that the Word, spreadsheet and presentation producers share. The
// session is made on first use and ended by release(), both on the worker thread; abort()
// may come from any thread.
class SharedOffice
{
public:
    // programDir: the office's program folder; empty for the installed office.
    explicit SharedOffice(const QString& programDir = QString());
    ~SharedOffice();

    OfficeSession& session();
    void release();
    // Kills the session's office at once and refuses any later office work.
    void abort();

private:
    QString programDir;
    std::mutex mutex; // guards current against abort()
    std::unique_ptr<OfficeSession> current;
    std::atomic<bool> aborted {false};
};
