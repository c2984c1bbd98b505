#include "ExcelThumbnailer.h"

#include "OfficeApplication.h"

ExcelThumbnailer::ExcelThumbnailer(std::shared_ptr<SharedOffice> office)
    : OfficeThumbnailer({QStringLiteral("xlsx"), QStringLiteral("xlsm"), QStringLiteral("xls"),
                         QStringLiteral("ods")},
                        std::move(office),
                        {[this] { return createExcelInstance(); },
                         "ExcelThumbnailer::createExcelInstance",
                         "  Can't create Excel instance",
                         "ExcelThumbnailer::generate",
                         OfficeDocument::Kind::Spreadsheet,
                         "  excelBooks->Open",
                         true,
                         "  Can't export to pdf",
                         " Excel file:",
                         " Pdf file:",
                         {}})
{
}

std::unique_ptr<OfficeApplication> ExcelThumbnailer::createExcelInstance()
{
    return startApplication();
}
