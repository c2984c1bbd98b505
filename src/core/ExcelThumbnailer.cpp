#include "ExcelThumbnailer.h"

#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeDocument.h"
#include "OfficeSession.h"
#include "SharedOffice.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

ExcelThumbnailer::ExcelThumbnailer(std::shared_ptr<SharedOffice> office)
    : extensions({QStringLiteral("xlsx"), QStringLiteral("xlsm"), QStringLiteral("xls"),
                  QStringLiteral("ods")})
    , office(std::move(office))
{
}

ExcelThumbnailer::~ExcelThumbnailer() = default;

void ExcelThumbnailer::releaseWorkerResources()
{
    office->release();
}

void ExcelThumbnailer::abort()
{
    office->abort();
}

void ExcelThumbnailer::jobStarting()
{
    office->session().launch();
}

std::unique_ptr<OfficeApplication> ExcelThumbnailer::createExcelInstance()
{
    std::unique_ptr<OfficeApplication> excel = OfficeApplication::start(office->session());
    if (!excel) {
        qDebug() << " [ERROR]" << "ExcelThumbnailer::createExcelInstance" << "  Can't create Excel instance";
        return nullptr;
    }
    excel->setVisible(false);
    excel->setDisplayAlerts(false);
    return excel;
}

Thumbnailer::tThumbnailPages ExcelThumbnailer::generate(QFile& file)
{
    tThumbnailPages pages;
    if (std::unique_ptr<OfficeApplication> excel = createExcelInstance()) {
        const QString source = QDir::toNativeSeparators(file.fileName());
        std::unique_ptr<OfficeDocument> workbook;
        try {
            workbook = excel->documents().open(source, OfficeDocument::Kind::Spreadsheet);
        } catch (const OfficeAutomationError&) {
            qDebug() << " [ERROR]" << "ExcelThumbnailer::generate" << "  excelBooks->Open" << source;
        }
        if (workbook) {
            removeWorkingFiles(QStringLiteral("*.pdf"));
            const QString pdfPath =
                workArea() + QFileInfo(source).completeBaseName() + QStringLiteral(".pdf");
            // Every sheet is printed whole, whatever print areas the workbook defines.
            workbook->ignorePrintAreas();
            if (hasPagesToExport(workbook->pageCount())) {
                if (!workbook->exportPdf(pdfPath, settings.pageStart, settings.pageEnd)) {
                    qDebug() << " [ERROR]" << "ExcelThumbnailer::generate" << "  Can't export to pdf"
                             << " Excel file:" << source << " Pdf file:" << pdfPath;
                } else if (QFile::exists(pdfPath)) {
                    QFile pdf(pdfPath);
                    pages = runPdfToPng(pdf, settings.outputFolderFor(file), file,
                                        settings.pageStart - 1);
                }
            }
            workbook->close();
        }
        excel->quit();
    }
    if (pages.isEmpty())
        qDebug() << " [ERROR]" << "ExcelThumbnailer::generate" << "  pages.count() == 0";
    return pages;
}
