#pragma once

#include "Options.h"

#include <poppler-page.h>

#include <optional>

constexpr double kDpi = 150.0;
// Rendered pixels averaged into one pixel of the box-sized image, along each side: Poppler's
// anti-aliasing is too coarse for a page drawn at thumbnail size directly (small text comes
// out bold, hairlines black). Where that many would pass 150 dpi, fewer do, down to
// kLeastSupersampling; below that the page is rendered at 150 dpi as without a box.
constexpr int kSupersampling = 4;
constexpr int kLeastSupersampling = 3;
// A page whose rendering would be larger is rendered at a lower resolution instead, so that
// a huge MediaBox cannot make a worker allocate gigabytes.
constexpr double kMaxPixels = 50e6;
// Keeps a degenerate page (a MediaBox of a mile by an inch) inside the budget too.
constexpr double kMaxSide = 32767;

// Pixel size of a page's image, the resolutions across and down that the page is rendered at
// and how many rendered pixels along each side make one pixel of the image.
struct Geometry
{
    double xDpi;
    double yDpi;
    int width;
    int height;
    int factor;
};

// The page's image: at the size the box needs where one is given, else at 150 dpi, always
// within the limits above.
Geometry geometryOf(const poppler::page& page, const std::optional<Box>& box);
