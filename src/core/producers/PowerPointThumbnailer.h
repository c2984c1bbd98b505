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
    // The box, or with the aspect kept the slide's proportions covering it; empty when the
    // slide cannot be measured.
    QSize slideImageSize(OfficeDocument& presentation, int slide) const;
    // Each chosen slide, exported at the thumbnail's size and path.
    tThumbnailPages exportSlides(OfficeDocument& presentation, QFile& file);
};
