#pragma once

#include <QString>

// The answer of an office call: a value, or the text of what went wrong (the value then
// stays default).
template<typename T> struct [[nodiscard]] OfficeResult
{
    T value {};
    QString error;

    static OfficeResult failure(const QString& error) { return {T {}, error}; }
    bool ok() const { return error.isEmpty(); }
};
