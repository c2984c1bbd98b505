#pragma once

#include "OfficeDocument.h"
#include "Thumbnailer.h"

#include <functional>
#include <memory>

class OfficeApplication;
class SharedOffice;

// The plan every office producer follows for one document: start the application, open
// the document in its collection, export the chosen pages, close the document and quit,
// each step with the producer's log line. Each producer supplies its calls and texts.
class OfficeThumbnailer : public Thumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(OfficeThumbnailer)

public:
    ~OfficeThumbnailer() override;

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    tThumbnailPages generate(QFile& file) override;
    void releaseWorkerResources() override;
    void abort() override;
    void jobStarting() override;

protected:
    struct Plan
    {
        // The producer's start function; it calls startApplication().
        std::function<std::unique_ptr<OfficeApplication>()> start;
        const char* startFunction;
        const char* cannotStart;
        const char* generateFunction;
        OfficeDocument::Kind family;
        const char* openFailed;
        // Documents and spreadsheets go through a PDF in the working folder. The export's
        // failure line is exportFailed, the source when sourceLabel is given, pdfLabel when
        // given, and the PDF path.
        bool ignorePrintAreas = false;
        const char* exportFailed = nullptr;
        const char* sourceLabel = nullptr;
        const char* pdfLabel = nullptr;
        // Presentations export their slides instead.
        std::function<tThumbnailPages(OfficeDocument&, QFile&)> exportSlides;
    };

    OfficeThumbnailer(QSet<QString> extensions, std::shared_ptr<SharedOffice> office, Plan plan);

    // Starts the shared office's application, logging the plan's line when it cannot.
    std::unique_ptr<OfficeApplication> startApplication();

private:
    tThumbnailPages exportPdf(OfficeDocument& document, QFile& file, const QString& source);

    const QSet<QString> extensions;
    const std::shared_ptr<SharedOffice> office;
    const Plan plan;
};
