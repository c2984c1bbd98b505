#pragma once

#include <QString>

class OfficeSession;

// Converts documents with the office, for example flat ODF written by a test into the
// formats the producers read.
class OfficeConverter
{
public:
    enum class Format { Docx, Doc, Odt, Xlsx, Xls, Ods, Pptx, Ppt, Odp };

    // The office's filter name for the format.
    static QString filterName(Format format);

    // Stores source as target in the format, encrypted when a password is given.
    static bool convert(OfficeSession& session, const QString& source, const QString& target,
                        Format format, const QString& password = QString());
};
