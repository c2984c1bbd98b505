#include "WordThumbnailer.h"

#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeDocument.h"
#include "OfficeSession.h"
#include "SharedOffice.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

WordThumbnailer::WordThumbnailer(std::shared_ptr<SharedOffice> office)
    : extensions({QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("rtf"),
                  QStringLiteral("odt")})
    , office(std::move(office))
{
}

WordThumbnailer::~WordThumbnailer() = default;

void WordThumbnailer::releaseWorkerResources()
{
    office->release();
}

void WordThumbnailer::abort()
{
    office->abort();
}

void WordThumbnailer::jobStarting()
{
    office->session().launch();
}

std::unique_ptr<OfficeApplication> WordThumbnailer::getWordInstance()
{
    std::unique_ptr<OfficeApplication> word = OfficeApplication::start(office->session());
    if (!word) {
        qDebug() << " [ERROR]" << "WordThumbnailer::getWordInstance" << "  Can't create Word instance";
        return nullptr;
    }
    word->setVisible(false);
    word->setDisplayAlerts(false);
    return word;
}

Thumbnailer::tThumbnailPages WordThumbnailer::generate(QFile& file)
{
    tThumbnailPages pages;
    if (std::unique_ptr<OfficeApplication> word = getWordInstance()) {
        const QString source = QDir::toNativeSeparators(file.fileName());
        std::unique_ptr<OfficeDocument> wordDoc;
        try {
            wordDoc = word->documents().open(source, OfficeDocument::Kind::Text);
        } catch (const OfficeAutomationError&) {
            qDebug() << " [ERROR]" << "WordThumbnailer::generate" << "  wordDocuments->Open" << source;
        }
        if (wordDoc) {
            removeWorkingFiles(QStringLiteral("*.pdf"));
            const QString pdfPath =
                workArea() + QFileInfo(source).completeBaseName() + QStringLiteral(".pdf");
            // Only the chosen pages are exported: the PDF starts at pageStart.
            if (hasPagesToExport(wordDoc->pageCount())) {
                if (!wordDoc->exportPdf(pdfPath, settings.pageStart, settings.pageEnd)) {
                    qDebug() << " [ERROR]" << "WordThumbnailer::generate"
                             << "  wordDoc->ExportAsFixedFormat" << pdfPath;
                } else if (QFile::exists(pdfPath)) {
                    QFile pdf(pdfPath);
                    pages = runPdfToPng(pdf, settings.outputFolderFor(file), file,
                                        settings.pageStart - 1);
                }
            }
            wordDoc->close();
        }
        word->quit();
    }
    if (pages.isEmpty())
        qDebug() << " [ERROR]" << "WordThumbnailer::generate" << "  pages.count() == 0";
    return pages;
}
