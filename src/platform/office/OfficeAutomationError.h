#pragma once

#include <QString>

#include <stdexcept>

// Raised by the office automation layer when a document cannot be opened or the office
// cannot be reached.
class OfficeAutomationError : public std::runtime_error
{
public:
    explicit OfficeAutomationError(const QString& message);

    QString message() const;
};
