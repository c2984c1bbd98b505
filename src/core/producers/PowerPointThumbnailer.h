#pragma once

#include "producers/OfficeThumbnailer.h"

// Presentations: the office exports each chosen slide straight to the thumbnail file.
class PowerPointThumbnailer : public OfficeThumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(PowerPointThumbnailer)

public:
    explicit PowerPointThumbnailer(std::shared_ptr<SharedOffice> office);

    std::unique_ptr<OfficeApplication> getPowerPointInstance();

private:
    // Each chosen slide, exported at the thumbnail's size and path.
    tThumbnailPages exportSlides(OfficeDocument& presentation, QFile& file);
};
