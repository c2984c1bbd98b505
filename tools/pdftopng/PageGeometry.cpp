#include "PageGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// The smallest image of a page of width x height points that covers the box, its sides whole
// pixels, rendered `factor` times larger along each side; nothing when that passes kDpi or
// the limits. With the aspect kept, that image is the thumbnail. Stretched, it is scaled
// unevenly afterwards, which keeps small text only from an image of more pixels than the
// thumbnail: it is handed over twice that size, rendered at half the factor.
std::optional<Geometry> thumbnailGeometry(double width, double height, const Box& box)
{
    const int handover = box.keepAspect ? 1 : 2;
    const double cover = std::max(box.width / width, box.height / height);
    const double across = handover * std::max(1.0, std::round(width * cover));
    const double down = handover * std::max(1.0, std::round(height * cover));
    const int factor = int(std::min<double>(
        {double(kSupersampling / handover), std::floor(kDpi / 72 * width / across),
         std::floor(kDpi / 72 * height / down), std::floor(kMaxSide / std::max(across, down)),
         std::floor(std::sqrt(kMaxPixels / (across * down)))}));
    if (factor * handover < kLeastSupersampling)
        return std::nullopt;
    // Across and down apart, so that each side is whole: the caller's scaling then keeps it.
    return Geometry {72 * across * factor / width, 72 * down * factor / height, int(across),
                     int(down), factor};
}

} // namespace

Geometry geometryOf(const poppler::page& page, const std::optional<Box>& box)
{
    // The crop box, turned as the page is shown.
    const poppler::rectf crop = page.page_rect(poppler::crop_box);
    const bool turned = page.orientation() == poppler::page::landscape
        || page.orientation() == poppler::page::seascape;
    const double width = turned ? crop.height() : crop.width();
    const double height = turned ? crop.width() : crop.height();
    if (box) {
        if (const std::optional<Geometry> thumbnail = thumbnailGeometry(width, height, *box))
            return *thumbnail;
    }
    const double scale = std::min(
        {kDpi / 72, std::sqrt(kMaxPixels / (width * height)), kMaxSide / std::max(width, height)});
    if (scale >= kDpi / 72) // rounded as Poppler rounds a whole page
        return {kDpi, kDpi, std::max(1, int(width * scale + 0.5)),
                std::max(1, int(height * scale + 0.5)), 1};
    // Sides rounded down, but at least one pixel, keep the image inside the limits.
    return {72 * scale, 72 * scale, std::max(1, int(width * scale)),
            std::max(1, int(height * scale)), 1};
}
