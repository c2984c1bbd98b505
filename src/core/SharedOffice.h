#pragma once

#include <QString>

#include <memory>

class OfficeSession;

// The one office session that the Word, spreadsheet and presentation producers share. The
// session is made on first use and ended by release(), both on the worker thread.
class SharedOffice
{
public:
    // programDir: the office's program folder; empty for the installed office.
    explicit SharedOffice(const QString& programDir = QString());
    ~SharedOffice();

    OfficeSession& session();
    void release();

private:
    QString programDir;
    std::unique_ptr<OfficeSession> current;
};
