#include "OfficeAutomationError.h"

OfficeAutomationError::OfficeAutomationError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

QString OfficeAutomationError::message() const
{
    return QString::fromUtf8(what());
}
