#include "OfficeProcess.h"

#include "GroupProcess.h"
#include "OfficeArea.h"
#include "OfficeAreaSweeper.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QUuid>

#include <csignal>
#include <unistd.h>

namespace {

// The shell that starts the office leaves a watchdog in the office's process group: it
// reads the pipe that only this program holds open and kills the group when the pipe ends,
// that is when this program ends for whatever reason. The shell then becomes the office.
const char WatchdogScript[] =
    R"(exec 3<&0; { read -r _ <&3; kill -9 0; } & exec "$0" "$@" 0</dev/null 3<&-)";

// Socket files of the office's pipes. The office removes them when it ends; a killed one
// leaves them behind.
QStringList pipeFilesOf(const QString& pipeName, const QString& profileUrl)
{
    // The single-instance pipe is named after the MD5 of the profile URL's UTF-16 code
    // units, in hexadecimal without zero padding.
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(profileUrl.utf16()), profileUrl.size() * 2),
        QCryptographicHash::Md5);
    QString hash;
    for (const char byte : digest)
        hash += QString::number(quint8(byte), 16);
    const QString prefix = QStringLiteral("OSL_PIPE_%1_").arg(::getuid());
    QStringList files;
    for (const QString& folder : {QStringLiteral("/tmp/"), QStringLiteral("/var/tmp/")}) {
        files << folder + prefix + pipeName
              << folder + prefix + QStringLiteral("SingleOfficeIPC_") + hash;
    }
    return files;
}

// Settings of the private profile, written before the office first reads it. No lock files:
// a killed office would leave them behind and every later store to that path would fail.
bool writeProfileSettings(const QString& profileDir)
{
    if (!QDir(profileDir).mkpath(QStringLiteral("user")))
        return false;
    QFile settings(profileDir + QStringLiteral("/user/registrymodifications.xcu"));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    const QByteArray contents = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentOOoLockFile" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentSystemFileLocking" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
)";
    return settings.write(contents) == contents.size();
}

} // namespace

OfficeResult<std::unique_ptr<OfficeProcess>> OfficeProcess::launch(const QString& programDir,
                                                                   const QDeadlineTimer& deadline)
{
    using Result = OfficeResult<std::unique_ptr<OfficeProcess>>;
    OfficeAreaSweeper::sweepOrphans();
    std::unique_ptr<OfficeProcess> office(new OfficeProcess);
    // A fresh profile per process: a killed office cannot leave a broken one behind.
    office->area = std::make_unique<QTemporaryDir>(OfficeArea::areaTemplate());
    if (!office->area->isValid())
        return Result::failure(QStringLiteral("Cannot create an office profile folder: ")
                               + office->area->errorString());
    const QString areaPath = office->area->path();
    const QString tempDir = OfficeArea::tempDir(areaPath);
    if (!writeProfileSettings(OfficeArea::profileDir(areaPath)) || !QDir().mkpath(tempDir))
        return Result::failure(QStringLiteral("Cannot write the office profile in ") + areaPath);
    office->pipeName =
        QStringLiteral("miravel-office-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString profileUrl = OfficeArea::profileUrl(areaPath);
    const QString program = QDir(programDir).filePath(QStringLiteral("soffice"));
    const QStringList arguments {
        QStringLiteral("-c"),
        QLatin1String(WatchdogScript),
        program,
        QStringLiteral("--headless"),
        QStringLiteral("--invisible"),
        QStringLiteral("--norestore"),
        QStringLiteral("--nologo"),
        QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"),
        QStringLiteral("-env:UserInstallation=") + profileUrl,
        QStringLiteral("--accept=pipe,name=") + office->pipeName
            + QStringLiteral(";urp;StarOffice.ComponentContext"),
    };

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("URE_BOOTSTRAP"));
    // The office's temporary files go with its private area, also when it is killed.
    environment.insert(QStringLiteral("TMPDIR"), tempDir);
    office->process = std::make_unique<GroupProcess>();
    office->process->setProcessEnvironment(environment);
    office->process->setStandardOutputFile(QProcess::nullDevice());
    office->process->setStandardErrorFile(QProcess::nullDevice());
    // Standard input stays the pipe the watchdog reads.
    office->process->start(QStringLiteral("/bin/sh"), arguments);
    if (!office->process->waitForStarted(qMax(0, int(deadline.remainingTime())))) {
        const QString error = office->process->errorString();
        office->process.reset();
        return Result::failure(QStringLiteral("Cannot start ") + program + QStringLiteral(": ")
                               + error);
    }
    office->processGroup = office->process->processId();
    office->pipeFiles = pipeFilesOf(office->pipeName, profileUrl);
    OfficeAreaSweeper::record(areaPath, office->processGroup, office->pipeFiles);
    return {std::move(office), QString()};
}

OfficeProcess::~OfficeProcess()
{
    if (process) {
        killAll();
        // The launcher may end before the office it started: nothing of the group stays.
        ::kill(-static_cast<pid_t>(processGroup), SIGKILL);
        OfficeAreaSweeper::forget(processGroup);
    }
    for (const QString& file : qAsConst(pipeFiles))
        QFile::remove(file);
}

QString OfficeProcess::connectUrl() const
{
    return QStringLiteral("uno:pipe,name=") + pipeName
        + QStringLiteral(";urp;StarOffice.ComponentContext");
}

bool OfficeProcess::isRunning() const
{
    // Without an event loop the state only changes when the process is asked.
    return process->state() != QProcess::NotRunning && !process->waitForFinished(0);
}

int OfficeProcess::lastExitCode() const
{
    return process->exitCode();
}

bool OfficeProcess::waitForExit(int ms)
{
    return process->state() == QProcess::NotRunning || process->waitForFinished(ms);
}

qint64 OfficeProcess::residentMiB() const
{
    qint64 pages = 0;
    for (const GroupProcess::Member& member : GroupProcess::groupMembers(processGroup))
        pages += member.residentPages;
    return pages * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

void OfficeProcess::killAll()
{
    if (process->state() != QProcess::NotRunning)
        process->killGroup();
}
