#pragma once

#include <QString>

// The per-user working folder and this process's own area inside it, where intermediate
// page images and PDFs go. The area is removed when the process ends; areas left behind by
// processes that no longer run are removed when the area is first used or checked.
class WorkArea
{
public:
    // The per-user data folder, ending with the native separator; created when missing.
    static QString workingFolder();
    // This process's area, ending with the native separator; created on first use.
    static QString path();
    // Makes sure this process's area exists, creating what is missing: why it cannot, in the
    // system's words, or an empty string.
    static QString check();

private:
    WorkArea();
    ~WorkArea();

    QString area;
};
