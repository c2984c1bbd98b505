#pragma once

#include "Thumbnailer.h"

#include <memory>

class OfficeApplication;
class SharedOffice;

// Presentations: the office exports each chosen slide straight to the thumbnail file.
class PowerPointThumbnailer : public Thumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(PowerPointThumbnailer)

public:
    explicit PowerPointThumbnailer(std::shared_ptr<SharedOffice> office);
    ~PowerPointThumbnailer() override;

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    tThumbnailPages generate(QFile& file) override;
    void releaseWorkerResources() override;
    void abort() override;
    void jobStarting() override;

    std::unique_ptr<OfficeApplication> getPowerPointInstance();

private:
    QSet<QString> extensions;
    std::shared_ptr<SharedOffice> office;
};
