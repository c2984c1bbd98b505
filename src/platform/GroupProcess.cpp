#include "GroupProcess.h"

#include <csignal>
#include <unistd.h>

GroupProcess::GroupProcess(QObject* parent)
    : QProcess(parent)
{
}

GroupProcess::~GroupProcess()
{
    if (state() != QProcess::NotRunning)
        killGroup();
}

void GroupProcess::setupChildProcess()
{
    ::setpgid(0, 0);
}

void GroupProcess::killGroup()
{
    const qint64 pid = processId();
    if (pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
    kill();
    waitForFinished(5000);
}

GroupProcess::Result GroupProcess::run(const QString& program, const QStringList& args,
                                       int timeoutMs)
{
    Result result;
    GroupProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return result;
    result.started = true;
    if (!process.waitForFinished(timeoutMs)) {
        result.timedOut = true;
        process.killGroup();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}
