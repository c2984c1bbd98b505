#pragma once

#include <QString>

#include <stdexcept>

// Raised by the office automation layer when a document cannot be opened or the office
// cannot be reached.
class OfficeAutomationError : public std::runtime_error
{
public:
    // What kept the document from being opened.
    enum class Cause {
        OfficeUnavailable, // the office cannot be started or reached
        NotFound, // no such file
        NoDocument, // the office read no document from it (damaged, locked) or gave up
        WrongFamily // a document of another family, or read as plain text
    };

    OfficeAutomationError(Cause cause, const QString& message);

    Cause cause() const;
    QString message() const;

private:
    Cause why;
};
