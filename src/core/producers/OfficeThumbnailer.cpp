#include "producers/OfficeThumbnailer.h"

#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeSession.h"
#include "producers/SharedOffice.h"
#include "producers/StageTimer.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

FileReport::Failure openFailure(OfficeAutomationError::Cause cause)
{
    switch (cause) {
    case OfficeAutomationError::Cause::OfficeUnavailable:
        return FileReport::OfficeUnavailable;
    case OfficeAutomationError::Cause::NotFound:
        return FileReport::NotFound;
    case OfficeAutomationError::Cause::WrongFamily:
        return FileReport::Damaged;
    case OfficeAutomationError::Cause::NoDocument:
        break;
    }
    return FileReport::OfficeCannotOpen;
}

} // namespace

OfficeThumbnailer::OfficeThumbnailer(QSet<QString> extensions, std::shared_ptr<SharedOffice> office,
                                     Plan plan)
    : extensions(std::move(extensions))
    , office(std::move(office))
    , plan(std::move(plan))
{
}

OfficeThumbnailer::~OfficeThumbnailer() = default;

void OfficeThumbnailer::releaseWorkerResources()
{
    office->release();
}

void OfficeThumbnailer::abort()
{
    office->abort();
}

void OfficeThumbnailer::jobStarting()
{
    office->session().launch();
}

std::unique_ptr<OfficeApplication> OfficeThumbnailer::startApplication()
{
    std::unique_ptr<OfficeApplication> application = OfficeApplication::attach(office->session());
    if (!application) {
        qDebug() << " [ERROR]" << plan.startFunction << plan.cannotStart;
        return nullptr;
    }
    application->setVisible(false);
    application->setDisplayAlerts(false);
    return application;
}

Thumbnailer::tThumbnailPages OfficeThumbnailer::generate(QFile& file)
{
    tThumbnailPages pages;
    std::optional<StageTimer> starting(std::in_place, "office-start", file.fileName());
    if (QFileInfo::exists(file.fileName()) && file.size() == 0) {
        // The office would take it for a new, blank document.
        fail(FileReport::EmptyFile);
    } else if (std::unique_ptr<OfficeApplication> application = plan.start()) {
        starting.reset();
        const QString source = QDir::toNativeSeparators(file.fileName());
        std::unique_ptr<OfficeDocument> document;
        try {
            const StageTimer opening("open", file.fileName());
            document = application->documents().open(source, plan.family);
        } catch (const OfficeAutomationError& error) {
            qDebug() << " [ERROR]" << plan.generateFunction << plan.openFailed << source;
            fail(openFailure(error.cause()));
        }
        if (document) {
            pages = plan.exportPages(*document, file, source);
            const StageTimer closing("close", file.fileName());
            document->close();
        }
        application->quit();
    } else {
        fail(FileReport::OfficeUnavailable);
    }
    if (pages.isEmpty())
        qDebug() << " [ERROR]" << plan.generateFunction << "  pages.count() == 0";
    return pages;
}

Thumbnailer::tThumbnailPages OfficeThumbnailer::exportPdf(OfficeDocument& document, QFile& file,
                                                          const QString& source,
                                                          bool ignorePrintAreas,
                                                          const PdfFailure& failure)
{
    {
        const StageTimer clearing("clear", source);
        removeWorkingFiles(QStringLiteral("*.pdf"));
    }
    const QString pdfPath =
        workArea() + QFileInfo(source).completeBaseName() + QStringLiteral(".pdf");
    // Only the chosen pages are exported: the PDF starts at pageStart.
    std::optional<StageTimer> exporting(std::in_place, "export", source);
    const OfficeResult<int> exported =
        document.exportPdf(pdfPath, settings.pageStart, settings.pageEnd, ignorePrintAreas);
    exporting.reset();
    if (!exported.ok()) {
        QDebug line = qDebug();
        line << " [ERROR]" << plan.generateFunction;
        failure(line, source, pdfPath);
        fail(FileReport::OfficeCannotConvert);
        return {};
    }
    if (!QFile::exists(pdfPath)) {
        fail(FileReport::NoPagesInRange);
        return {};
    }
    QFile pdf(pdfPath);
    return runPdfToPng(pdf, settings.outputFolderFor(file), file, settings.pageStart - 1);
}
