#pragma once

#include <chrono>
#include <string>

// A failure, on standard error.
void report(const std::string& message);

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start);

// With MIRAVEL_STAGES=1 set, as for the caller's own timings, the tool's stages go to stderr
// as the caller logs its own: "miravel.stages: pdftopng-STAGE MS PDF".
class StageLog
{
public:
    explicit StageLog(const std::string& pdf);

    void log(const char* stage, double ms) const;

private:
    std::string pdf;
    bool enabled = false;
};
