#include "PageImage.h"

#include "StageLog.h"

#include <png.h>

#include <algorithm>
#include <cstdio>

poppler::image shrink(const poppler::image& large, int factor)
{
    const int width = large.width() / factor;
    const int height = large.height() / factor;
    poppler::image small(width, height, poppler::image::format_rgb24);
    const unsigned area = unsigned(factor * factor);
    std::vector<unsigned> sums(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int row = y * factor; row < (y + 1) * factor; ++row) {
            const auto* in = reinterpret_cast<const unsigned char*>(large.const_data())
                + std::size_t(row) * std::size_t(large.bytes_per_row());
            for (unsigned* sum = sums.data(); sum != sums.data() + sums.size(); sum += 3) {
                for (int i = 0; i < factor; ++i, in += 3) {
                    sum[0] += in[0];
                    sum[1] += in[1];
                    sum[2] += in[2];
                }
            }
        }
        auto* out = reinterpret_cast<unsigned char*>(small.data())
            + std::size_t(y) * std::size_t(small.bytes_per_row());
        for (std::size_t i = 0; i < sums.size(); ++i)
            out[i] = static_cast<unsigned char>((sums[i] + area / 2) / area);
    }
    return small;
}

namespace {

// 8-bit RGB rows of the bands, top to bottom; false when libpng fails.
bool encodePng(const std::vector<poppler::image>& bands, int width, int height, int zlibLevel,
               FILE* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // libpng reports errors by longjmp: nothing below may need destruction.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, zlibLevel);
    png_write_info(png, info);
    for (const poppler::image& band : bands) {
        const auto* rows = reinterpret_cast<png_const_bytep>(band.const_data());
        for (int y = 0; y < band.height(); ++y)
            png_write_row(png, rows + std::size_t(y) * std::size_t(band.bytes_per_row()));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::string pageFileName(const std::string& root, int number)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%06d.png", number);
    return root + suffix;
}

bool writePng(const std::vector<poppler::image>& bands, const Geometry& size, int zlibLevel,
              const std::string& path)
{
    const std::string partial = path + ".part";
    FILE* out = std::fopen(partial.c_str(), "wb");
    // Megabytes go out in large writes; the buffer outlives the stream, closed below.
    std::vector<char> buffer(std::size_t(1) << 20);
    if (out)
        std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
    const bool written = out && encodePng(bands, size.width, size.height, zlibLevel, out);
    const bool closed = out && std::fclose(out) == 0;
    if (!written || !closed) {
        report("cannot write " + partial);
        std::remove(partial.c_str());
        return false;
    }
    // rename(2) replaces an older image of the same name in one step.
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        report("cannot rename " + partial + " to " + path);
        std::remove(partial.c_str());
        return false;
    }
    return true;
}
