#include "OfficeAutomationError.h"

OfficeAutomationError::OfficeAutomationError(Cause cause, const QString& message)
    : std::runtime_error(message.toStdString())
    , why(cause)
{
}

OfficeAutomationError::Cause OfficeAutomationError::cause() const
{
    return why;
}

QString OfficeAutomationError::message() const
{
    return QString::fromUtf8(what());
}
