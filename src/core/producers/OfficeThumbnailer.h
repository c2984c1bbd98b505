#pragma once

#include "OfficeDocument.h"
#include "producers/Thumbnailer.h"

#include <QDebug>

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
        // Exports the chosen pages of the open document: exportPdf() or the producer's own.
        std::function<tThumbnailPages(OfficeDocument& document, QFile& file, const QString& source)>
            exportPages;
    };
    // Streams the texts of a failed PDF export that follow the function's name.
    using PdfFailure =
        std::function<void(QDebug& line, const QString& source, const QString& pdfPath)>;

    OfficeThumbnailer(QSet<QString> extensions, std::shared_ptr<SharedOffice> office, Plan plan);

    // Starts the shared office's application, logging the plan's line when it cannot.
    std::unique_ptr<OfficeApplication> startApplication();
    // Documents and spreadsheets: the chosen pages go to a PDF in the working folder, which
    // pdftopng renders.
    tThumbnailPages exportPdf(OfficeDocument& document, QFile& file, const QString& source,
                              bool ignorePrintAreas, const PdfFailure& failure);

private:
    const QSet<QString> extensions;
    const std::shared_ptr<SharedOffice> office;
    const Plan plan;
};
