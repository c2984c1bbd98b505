#pragma once

#include "producers/OfficeThumbnailer.h"

// Spreadsheets: the office exports the chosen printed pages to PDF, pdftopng renders them.
class ExcelThumbnailer : public OfficeThumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(ExcelThumbnailer)

public:
    explicit ExcelThumbnailer(std::shared_ptr<SharedOffice> office);
    std::unique_ptr<OfficeApplication> createExcelInstance();
};
