#include "producers/WordThumbnailer.h"

#include "OfficeApplication.h"
#include "job/FileFamilies.h"

WordThumbnailer::WordThumbnailer(std::shared_ptr<SharedOffice> office)
    : OfficeThumbnailer(FileFamilies::suffixSet(Word), std::move(office),
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
