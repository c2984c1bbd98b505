#pragma once

#include "Thumbnailer.h"

#include <memory>

class OfficeApplication;
class SharedOffice;

// Spreadsheets: the office exports the chosen printed pages to PDF, pdftopng renders them.
class ExcelThumbnailer : public Thumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(ExcelThumbnailer)

public:
    explicit ExcelThumbnailer(std::shared_ptr<SharedOffice> office);
    ~ExcelThumbnailer() override;

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    tThumbnailPages generate(QFile& file) override;
    void releaseWorkerResources() override;
    void abort() override;
    void jobStarting() override;

    std::unique_ptr<OfficeApplication> createExcelInstance();

private:
    QSet<QString> extensions;
    std::shared_ptr<SharedOffice> office;
};
