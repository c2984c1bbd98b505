#pragma once

#include <QElapsedTimer>
#include <QString>

// Times one stage of a file's way through the pipeline and logs it when it goes out of scope,
// as the info line "STAGE MS FILE" (milliseconds to a tenth) of the category
// "miravel.stages". Off unless MIRAVEL_STAGES=1 is set or logging rules enable the category;
// off, it reads no clock.
class StageTimer
{
public:
    StageTimer(const char* stage, const QString& file);
    ~StageTimer();
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

    static bool enabled();
    static void log(const char* stage, const QString& file, double ms);

private:
    const char* stage;
    QString file;
    QElapsedTimer timer;
};
