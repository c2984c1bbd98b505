#include "WordThumbnailer.h"

#include "OfficeApplication.h"

WordThumbnailer::WordThumbnailer(std::shared_ptr<SharedOffice> office)
    : OfficeThumbnailer({QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("rtf"),
                         QStringLiteral("odt")},
                        std::move(office),
                        {[this] { return getWordInstance(); }, "WordThumbnailer::getWordInstance",
                         "  Can't create Word instance", "WordThumbnailer::generate",
                         OfficeDocument::Kind::Text, "  wordDocuments->Open",
                         [this](OfficeDocument& document, QFile& file, const QString& source) {
                             return exportPdf(
                                 document, file, source, false,
                                 [](QDebug& line, const QString&, const QString& pdfPath) {
                                     line << "  wordDoc->ExportAsFixedFormat" << pdfPath;
                                 });
                         }})
{
}

std::unique_ptr<OfficeApplication> WordThumbnailer::getWordInstance()
{
    return startApplication();
}
