#include "StageLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void report(const std::string& message)
{
    std::fprintf(stderr, "pdftopng: %s\n", message.c_str());
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

StageLog::StageLog(const std::string& pdf)
    : pdf(pdf)
{
    const char* stages = std::getenv("MIRAVEL_STAGES");
    enabled = stages && std::strcmp(stages, "1") == 0;
}

void StageLog::log(const char* stage, double ms) const
{
    if (enabled)
        std::fprintf(stderr, "miravel.stages: pdftopng-%s %.1f %s\n", stage, ms, pdf.c_str());
}
