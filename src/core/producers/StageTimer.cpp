#include "producers/StageTimer.h"

#include <QDebug>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcStages, "miravel.stages", QtWarningMsg)

} // namespace

StageTimer::StageTimer(const char* stage, const QString& file)
    : stage(stage)
    , file(file)
{
    if (enabled())
        timer.start();
}

StageTimer::~StageTimer()
{
    if (timer.isValid())
        log(stage, file, double(timer.nsecsElapsed()) / 1e6);
}

bool StageTimer::enabled()
{
    static const bool fromEnvironment = qEnvironmentVariableIntValue("MIRAVEL_STAGES") == 1;
    return fromEnvironment || lcStages().isInfoEnabled();
}

void StageTimer::log(const char* stage, const QString& file, double ms)
{
    if (enabled())
        QMessageLogger(nullptr, 0, nullptr, lcStages().categoryName()).info().noquote()
            << stage << QString::number(ms, 'f', 1) << file;
}
