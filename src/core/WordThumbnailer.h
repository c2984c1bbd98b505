#pragma once

#include "Thumbnailer.h"

#include <memory>

class OfficeApplication;
class SharedOffice;

// Word-processor documents: the office exports the chosen pages to PDF, pdftopng renders them.
class WordThumbnailer : public Thumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(WordThumbnailer)

public:
    explicit WordThumbnailer(std::shared_ptr<SharedOffice> office);
    ~WordThumbnailer() override;

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    tThumbnailPages generate(QFile& file) override;
    void releaseWorkerResources() override;
    void abort() override;
    void jobStarting() override;

    std::unique_ptr<OfficeApplication> getWordInstance();

private:
    QSet<QString> extensions;
    std::shared_ptr<SharedOffice> office;
};
