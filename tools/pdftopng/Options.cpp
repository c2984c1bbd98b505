#include "Options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::optional<int> parseNumber(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return int(value);
}

} // namespace

std::optional<Options> parseArguments(int argc, char* argv[])
{
    if (argc != 7 || std::strcmp(argv[1], "-f") != 0 || std::strcmp(argv[3], "-l") != 0)
        return std::nullopt;
    const std::optional<int> first = parseNumber(argv[2]);
    const std::optional<int> last = parseNumber(argv[4]);
    if (!first || !last)
        return std::nullopt;
    return Options {std::max(1, *first), *last, argv[5], argv[6], std::nullopt};
}

std::optional<Box> parseBox(const char* text)
{
    int width = 0;
    int height = 0;
    char aspect[8] = {};
    int end = 0;
    if (!text || std::sscanf(text, "%9dx%9d,%7[a-z]%n", &width, &height, aspect, &end) != 3
        || text[end] != '\0' || width < 1 || height < 1)
        return std::nullopt;
    const bool keep = std::strcmp(aspect, "keep") == 0;
    if (!keep && std::strcmp(aspect, "stretch") != 0)
        return std::nullopt;
    return Box {double(width), double(height), keep};
}
