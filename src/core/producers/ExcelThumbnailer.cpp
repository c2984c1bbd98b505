#include "producers/ExcelThumbnailer.h"

#include "OfficeApplication.h"
#include "job/FileFamilies.h"

ExcelThumbnailer::ExcelThumbnailer(std::shared_ptr<SharedOffice> office)
    : OfficeThumbnailer(
        FileFamilies::suffixSet(Excel), std::move(office),
        {[this] { return createExcelInstance(); }, "ExcelThumbnailer::createExcelInstance",
         "  Can't create Excel instance", "ExcelThumbnailer::generate",
         OfficeDocument::Kind::Spreadsheet, "  excelBooks->Open",
         [this](OfficeDocument& workbook, QFile& file, const QString& source) {
             // Every sheet is printed whole, whatever print areas the workbook defines.
             return exportPdf(workbook, file, source, true,
                              [](QDebug& line, const QString& source, const QString& pdfPath) {
                                  line << "  Can't export to pdf"
                                       << " Excel file:" << source << " Pdf file:" << pdfPath;
                              });
         }})
{
}

std::unique_ptr<OfficeApplication> ExcelThumbnailer::createExcelInstance()
{
    return startApplication();
}
