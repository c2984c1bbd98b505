#include "WordThumbnailer.h"

#include "OfficeApplication.h"

WordThumbnailer::WordThumbnailer(std::shared_ptr<SharedOffice> office)
    : OfficeThumbnailer({QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("rtf"),
                         QStringLiteral("odt")},
                        std::move(office),
                        {[this] { return getWordInstance(); },
                         "WordThumbnailer::getWordInstance",
                         "  Can't create Word instance",
                         "WordThumbnailer::generate",
                         OfficeDocument::Kind::Text,
                         "  wordDocuments->Open",
                         false,
                         "  wordDoc->ExportAsFixedFormat",
                         nullptr,
                         nullptr,
                         {}})
{
}

std::unique_ptr<OfficeApplication> WordThumbnailer::getWordInstance()
{
    return startApplication();
}
