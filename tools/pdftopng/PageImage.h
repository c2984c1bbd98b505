#pragma once

#include "PageGeometry.h"

#include <poppler-image.h>

#include <string>
#include <vector>

// Each factor x factor block of an RGB image, averaged into one pixel.
poppler::image shrink(const poppler::image& large, int factor);
// ROOT-NNNNNN.png.
std::string pageFileName(const std::string& root, int number);
// Writes the bands, top to bottom, as one PNG page image at zlib's zlibLevel, under a
// temporary name first, so that nobody ever sees a half-written page image.
bool writePng(const std::vector<poppler::image>& bands, const Geometry& size, int zlibLevel,
              const std::string& path);
