#include "OfficeConverter.h"

#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeDocument.h"

QString OfficeConverter::filterName(Format format)
{
    switch (format) {
    case Format::Docx:
        return QStringLiteral("MS Word 2007 XML");
    case Format::Doc:
        return QStringLiteral("MS Word 97");
    case Format::Odt:
        return QStringLiteral("writer8");
    case Format::Xlsx:
        return QStringLiteral("Calc MS Excel 2007 XML");
    case Format::Xls:
        return QStringLiteral("MS Excel 97");
    case Format::Ods:
        return QStringLiteral("calc8");
    case Format::Pptx:
        return QStringLiteral("Impress MS PowerPoint 2007 XML");
    case Format::Ppt:
        return QStringLiteral("MS PowerPoint 97");
    case Format::Odp:
        return QStringLiteral("impress8");
    }
    return QString();
}

bool OfficeConverter::convert(OfficeSession& session, const QString& source,
                              const QString& target, Format format, const QString& password)
{
    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(session);
    if (!application)
        return false;
    try {
        const std::unique_ptr<OfficeDocument> document = application->documents().open(source);
        return document->saveCopy(target, filterName(format), password);
    } catch (const OfficeAutomationError&) {
        return false;
    }
}
