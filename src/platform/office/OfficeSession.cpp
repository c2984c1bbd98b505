#include "OfficeSession.h"
#include "OfficeSession_p.h"

#include "OfficeAutomationError.h"
#include "OfficeInstallation.h"
#include "OfficeUno_p.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <unistd.h>

using namespace css;
using OfficeUno::toOUString;
using OfficeUno::toQString;

namespace {

Q_LOGGING_CATEGORY(lcOffice, "miravel.office", QtWarningMsg)

constexpr int PingTimeoutMs = 10000;
constexpr int TerminateTimeoutMs = 5000;
constexpr int ExitTimeoutMs = 5000;
// How long a call may still take to return once its office process was killed.
constexpr int AfterKillTimeoutMs = 10000;
// The same after abort(): whoever aborts is waiting to close.
constexpr int AfterAbortTimeoutMs = 1000;
constexpr int ConnectRetryMs = 100;
// How often a waiting call checks the office's memory.
constexpr int MemoryPollMs = 200;

// The shell that starts the office leaves a watchdog in the office's process group: it
// reads the pipe that only this program holds open and kills the group when the pipe ends,
// that is when this program ends for whatever reason. The shell then becomes the office.
const char WatchdogScript[]
    = R"(exec 3<&0; { read -r _ <&3; kill -9 0; } & exec "$0" "$@" 0</dev/null 3<&-)";

// Private areas are named after the process that owns them.
const char AreaPrefix[] = "miravel-office-";
// In the private area: the office's profile, its temporary folder, the record of its
// process group and pipe files.
const char ProfileFolder[] = "profile";
const char TempFolder[] = "tmp";
const char RecordFile[] = "office";

QString profileUrl(const QString& areaPath)
{
    return QUrl::fromLocalFile(areaPath + QLatin1Char('/') + QLatin1String(ProfileFolder))
        .toString(QUrl::FullyEncoded);
}

struct ProcessEntry
{
    qint64 pid = 0;
    qint64 residentPages = 0;
};

// Live members of a process group. Zombies do not count.
QList<ProcessEntry> groupMembers(qint64 group)
{
    QList<ProcessEntry> members;
    if (group <= 0)
        return members;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid pgrp ... rss ...": comm may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 21 && fields.at(2).toLongLong() == group && fields.at(0) != "Z")
            members.append({pid, fields.at(21).toLongLong()});
    }
    return members;
}

qint64 groupResidentMiB(qint64 group)
{
    qint64 pages = 0;
    for (const ProcessEntry& member : groupMembers(group))
        pages += member.residentPages;
    return pages * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

void removeLeftovers(const QStringList& leftovers)
{
    for (const QString& path : leftovers) {
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

// Ends the offices of this program's runs that ended without ending them (killed, crashed)
// and removes their private areas. An office is killed only when its command line names
// the area's profile, so no office of a running program or of the user is touched.
void sweepOrphans()
{
    const QDir temp(QDir::tempPath());
    const QFileInfoList areas = temp.entryInfoList({QLatin1String(AreaPrefix) + QLatin1Char('*')},
                                                   QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& area : areas) {
        const QStringList parts
            = area.fileName().mid(int(qstrlen(AreaPrefix))).split(QLatin1Char('-'));
        bool isPid = false;
        const qint64 owner = parts.first().toLongLong(&isPid);
        if (parts.size() != 2 || !isPid || owner <= 0 || area.ownerId() != ::getuid()
            || QFileInfo::exists(QStringLiteral("/proc/%1").arg(owner)))
            continue;
        QFile record(area.filePath() + QLatin1Char('/') + QLatin1String(RecordFile));
        QStringList leftovers;
        if (record.open(QIODevice::ReadOnly)) {
            leftovers = QString::fromUtf8(record.readAll()).split(QLatin1Char('\n'),
                                                                  Qt::SkipEmptyParts);
        }
        if (!leftovers.isEmpty()) {
            const QByteArray profileArgument
                = "-env:UserInstallation=" + profileUrl(area.filePath()).toUtf8();
            for (const ProcessEntry& member : groupMembers(leftovers.takeFirst().toLongLong())) {
                QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(member.pid));
                if (commandLine.open(QIODevice::ReadOnly)
                    && commandLine.readAll().split('\0').contains(profileArgument))
                    ::kill(static_cast<pid_t>(member.pid), SIGKILL);
            }
        }
        // Only the office's own pipe files are listed.
        leftovers = leftovers.filter(QRegularExpression(QStringLiteral("^(/var)?/tmp/OSL_PIPE_")));
        removeLeftovers(leftovers << area.filePath());
    }
}

// Ends the office processes still running at exit, should a session never be destroyed.
class ExitSweeper
{
public:
    static void add(qint64 group, const QStringList& leftovers)
    {
        ExitSweeper& sweeper = instance();
        const std::lock_guard<std::mutex> lock(sweeper.mutex);
        sweeper.running.insert(group, leftovers);
    }

    static void remove(qint64 group)
    {
        // A session destroyed during exit may come after the sweeper.
        if (gone)
            return;
        ExitSweeper& sweeper = instance();
        const std::lock_guard<std::mutex> lock(sweeper.mutex);
        sweeper.running.remove(group);
    }

    ~ExitSweeper()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (auto it = running.cbegin(); it != running.cend(); ++it) {
            ::kill(-static_cast<pid_t>(it.key()), SIGKILL);
            removeLeftovers(it.value());
        }
        gone = true;
    }

private:
    static ExitSweeper& instance()
    {
        static ExitSweeper sweeper;
        return sweeper;
    }

    static inline std::atomic<bool> gone{false};
    std::mutex mutex;
    QHash<qint64, QStringList> running;
};

// Socket files of the office's pipes. The office removes them when it ends; a killed one
// leaves them behind.
QStringList pipeFiles(const QString& pipeName, const QString& profileUrl)
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

// Describes the exception being handled, UNO or not.
QString caughtException()
{
    try {
        throw;
    } catch (const uno::Exception& e) {
        const uno::Any caught = cppu::getCaughtException();
        return toQString(caught.getValueTypeName()) + QStringLiteral(": ") + toQString(e.Message);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

} // namespace

OfficeSessionPrivate::OfficeSessionPrivate(const QString& programDir)
    : programDir(programDir.isEmpty() ? OfficeInstallation::system().programDir() : programDir)
    , callTimeoutMs(OfficeSession::DefaultCallTimeoutMs)
    , startTimeoutMs(OfficeSession::DefaultStartTimeoutMs)
    , memoryLimitMiB(OfficeSession::DefaultMemoryLimitMiB)
    , documentsPerProcess(OfficeSession::DefaultDocumentsPerProcess)
    , owner(QThread::currentThread())
{
}

OfficeSessionPrivate::~OfficeSessionPrivate()
{
    stopProcess(true);
    // Proxies must go before the local context that bridges them.
    localContext.clear();
}

void OfficeSessionPrivate::fail(const QString& message)
{
    lastError = message;
}

bool OfficeSessionPrivate::bootstrap()
{
    if (localContext.is())
        return true;
    // Without this the bootstrap cannot find the UNO runtime's configuration and crashes.
    if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP"))
        qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" MIRAVEL_LIBREOFFICE_PROGRAM_DIR
                                 "/fundamentalrc");
    try {
        localContext = cppu::defaultBootstrap_InitialComponentContext();
    } catch (...) {
        fail(QStringLiteral("Cannot bootstrap UNO: ") + caughtException());
        return false;
    }
    return localContext.is();
}

bool OfficeSessionPrivate::processRunning() const
{
    // Without an event loop the state only changes when the process is asked.
    return process && process->state() != QProcess::NotRunning && !process->waitForFinished(0);
}

bool OfficeSessionPrivate::serves(quint64 processGeneration) const
{
    return processGeneration == generation && desktop.is() && !broken;
}

bool OfficeSessionPrivate::ensureRunning()
{
    Q_ASSERT(QThread::currentThread() == owner);
    if (aborted) {
        fail(QStringLiteral("The office session was aborted"));
        return false;
    }
    if (documentsLoaded >= documentsPerProcess)
        stopProcess(true);
    if (!launchedPipe.isEmpty()) {
        // Started in the background: it has had at least the usual start time.
        const QString pipeName = std::exchange(launchedPipe, QString());
        if (connect(pipeName, QDeadlineTimer(startTimeoutMs)))
            return true;
        qCWarning(lcOffice) << lastError;
        stopProcess(false);
        return false;
    }
    if (desktop.is() && !broken && processRunning()) {
        try {
            run(QStringLiteral("Checking the office process"),
                [desktop = desktop] {
                    uno::Reference<lang::XServiceInfo>(desktop, uno::UNO_QUERY_THROW)
                        ->getImplementationName();
                },
                PingTimeoutMs);
            return true;
        } catch (const OfficeAutomationError& e) {
            qCWarning(lcOffice) << "Restarting the office process:" << e.message();
        }
    }
    stopProcess(false);
    return startProcess();
}

void OfficeSessionPrivate::launch()
{
    Q_ASSERT(QThread::currentThread() == owner);
    // ensureRunning() connects once a document needs the office.
    if (!aborted && !process)
        launchedPipe = launchProcess(QDeadlineTimer(startTimeoutMs));
}

bool OfficeSessionPrivate::startProcess()
{
    const QDeadlineTimer deadline(startTimeoutMs);
    const QString pipeName = launchProcess(deadline);
    if (pipeName.isEmpty())
        return false;
    if (!connect(pipeName, deadline)) {
        qCWarning(lcOffice) << lastError;
        stopProcess(false);
        return false;
    }
    return true;
}

QString OfficeSessionPrivate::launchProcess(const QDeadlineTimer& deadline)
{
    if (!bootstrap())
        return QString();

    sweepOrphans();
    // A fresh profile per process: a killed office cannot leave a broken one behind.
    area = std::make_unique<QTemporaryDir>(QDir::tempPath() + QLatin1Char('/')
                                           + QLatin1String(AreaPrefix)
                                           + QStringLiteral("%1-XXXXXX").arg(::getpid()));
    if (!area->isValid()) {
        fail(QStringLiteral("Cannot create an office profile folder: ") + area->errorString());
        area.reset();
        return QString();
    }
    const QString tempDir = area->filePath(QLatin1String(TempFolder));
    if (!writeProfileSettings(area->filePath(QLatin1String(ProfileFolder)))
        || !QDir().mkpath(tempDir)) {
        fail(QStringLiteral("Cannot write the office profile in ") + area->path());
        area.reset();
        return QString();
    }
    const QString pipeName = QStringLiteral("miravel-office-")
                             + QUuid::createUuid().toString(QUuid::Id128);
    const QString profileUrl = ::profileUrl(area->path());
    const QString program = QDir(programDir).filePath(QStringLiteral("soffice"));
    const QStringList arguments{
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
        QStringLiteral("--accept=pipe,name=") + pipeName
            + QStringLiteral(";urp;StarOffice.ComponentContext"),
    };

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("URE_BOOTSTRAP"));
    // The office's temporary files go with its private area, also when it is killed.
    environment.insert(QStringLiteral("TMPDIR"), tempDir);
    process = std::make_unique<GroupProcess>();
    process->setProcessEnvironment(environment);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // Standard input stays the pipe the watchdog reads.
    process->start(QStringLiteral("/bin/sh"), arguments);
    if (!process->waitForStarted(qMax(0, int(deadline.remainingTime())))) {
        fail(QStringLiteral("Cannot start ") + program + QStringLiteral(": ")
             + process->errorString());
        process.reset();
        area.reset();
        return QString();
    }
    processGroup = process->processId();
    liveGroup = processGroup;
    // abort() may have come before the group was known to it.
    if (aborted)
        ::kill(-static_cast<pid_t>(processGroup), SIGKILL);
    stalePipeFiles = pipeFiles(pipeName, profileUrl);
    QFile record(area->filePath(QLatin1String(RecordFile)));
    if (record.open(QIODevice::WriteOnly))
        record.write((QStringList(QString::number(processGroup)) << stalePipeFiles)
                         .join(QLatin1Char('\n'))
                         .toUtf8());
    record.close();
    ExitSweeper::add(processGroup, QStringList(stalePipeFiles) << area->path());
    ++generation;
    documentsLoaded = 0;
    broken = false;
    return pipeName;
}

bool OfficeSessionPrivate::connect(const QString& pipeName, const QDeadlineTimer& deadline)
{
    const rtl::OUString url = toOUString(QStringLiteral("uno:pipe,name=") + pipeName
                                         + QStringLiteral(";urp;StarOffice.ComponentContext"));
    struct Connection
    {
        uno::Reference<uno::XComponentContext> context;
        uno::Reference<frame::XDesktop2> desktop;
    };
    while (!deadline.hasExpired()) {
        if (!processRunning()) {
            fail(QStringLiteral("The office process ended while starting (exit code %1)")
                     .arg(process->exitCode()));
            return false;
        }
        Connection connection;
        try {
            connection = call<Connection>(
                QStringLiteral("Connecting to the office"),
                [localContext = localContext, url] {
                    Connection result;
                    try {
                        const uno::Reference<bridge::XUnoUrlResolver> resolver
                            = bridge::UnoUrlResolver::create(localContext);
                        result.context.set(resolver->resolve(url), uno::UNO_QUERY_THROW);
                    } catch (const connection::NoConnectException&) {
                        return result; // not listening yet
                    }
                    result.desktop = frame::Desktop::create(result.context);
                    return result;
                },
                qMax(1, int(deadline.remainingTime())));
        } catch (const OfficeAutomationError& e) {
            fail(e.message());
            return false;
        }
        if (connection.desktop.is()) {
            remoteContext = connection.context;
            desktop = connection.desktop;
            return true;
        }
        // Waiting on the process also notices when it ends.
        process->waitForFinished(qMax(0, qMin(ConnectRetryMs, int(deadline.remainingTime()))));
    }
    fail(QStringLiteral("The office did not answer within %1 ms").arg(startTimeoutMs));
    return false;
}

void OfficeSessionPrivate::run(const QString& what, const std::function<void()>& work,
                               int timeoutMs)
{
    Q_ASSERT(QThread::currentThread() == owner);
    if (timeoutMs < 0)
        timeoutMs = callTimeoutMs;

    struct State
    {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool failed = false;
        bool disposed = false;
        QString error;
    };
    const auto state = std::make_shared<State>();
    std::thread helper;
    try {
        helper = std::thread([state, work] {
            QString error;
            bool failed = true;
            bool disposed = false;
            try {
                work();
                failed = false;
            } catch (const lang::DisposedException&) {
                disposed = true;
                error = caughtException();
            } catch (...) {
                error = caughtException();
            }
            const std::lock_guard<std::mutex> lock(state->mutex);
            state->failed = failed;
            state->error = error;
            state->disposed = disposed;
            state->done = true;
            state->finished.notify_all();
        });
    } catch (const std::system_error& e) {
        const QString message = what + QStringLiteral(" failed: no thread: ")
                                + QString::fromUtf8(e.what());
        fail(message);
        throw OfficeAutomationError(message);
    }

    const QDeadlineTimer deadline(timeoutMs);
    std::unique_lock<std::mutex> lock(state->mutex);
    const auto isDone = [&state] { return state->done; };
    QString fault;
    while (!state->done && fault.isEmpty()) {
        if (aborted)
            fault = what + QStringLiteral(" was aborted; the office process was ended");
        else if (groupResidentMiB(processGroup) > memoryLimitMiB)
            fault = what
                    + QStringLiteral(" took more than %1 MiB of memory; the office process "
                                     "was ended")
                          .arg(memoryLimitMiB);
        else if (deadline.hasExpired())
            fault = what
                    + QStringLiteral(" took longer than %1 ms; the office process was ended")
                          .arg(timeoutMs);
        else
            state->finished.wait_for(
                lock,
                std::chrono::milliseconds(qMin(qint64(MemoryPollMs), deadline.remainingTime())),
                isDone);
    }
    if (!fault.isEmpty()) {
        lock.unlock();
        killProcess();
        lock.lock();
        const bool returned = state->finished.wait_for(
            lock, std::chrono::milliseconds(aborted ? AfterAbortTimeoutMs : AfterKillTimeoutMs),
            isDone);
        lock.unlock();
        if (returned)
            helper.join();
        else
            helper.detach(); // it owns all it touches
        const QString message = fault;
        qCWarning(lcOffice) << message;
        fail(message);
        throw OfficeAutomationError(message);
    }
    lock.unlock();
    helper.join();
    if (state->failed) {
        if (state->disposed)
            broken = true;
        const QString message = what + QStringLiteral(" failed: ") + state->error;
        fail(message);
        throw OfficeAutomationError(message);
    }
}

void OfficeSessionPrivate::abort()
{
    aborted = true;
    const qint64 group = liveGroup;
    if (group > 0)
        ::kill(-static_cast<pid_t>(group), SIGKILL);
}

void OfficeSessionPrivate::killProcess()
{
    broken = true;
    if (process && process->state() != QProcess::NotRunning)
        process->killGroup();
}

void OfficeSessionPrivate::stopProcess(bool graceful)
{
    if (graceful && !aborted && desktop.is() && !broken && processRunning()) {
        try {
            run(QStringLiteral("Ending the office"),
                [desktop = desktop] { desktop->terminate(); }, TerminateTimeoutMs);
        } catch (const OfficeAutomationError&) {
            // The office may exit before it answers.
        }
    }
    desktop.clear();
    remoteContext.clear();
    if (process) {
        if (process->state() != QProcess::NotRunning
            && !process->waitForFinished(graceful ? ExitTimeoutMs : 0))
            process->killGroup();
        // The launcher may end before the office it started: nothing of the group stays.
        if (processGroup > 0)
            ::kill(-static_cast<pid_t>(processGroup), SIGKILL);
        ExitSweeper::remove(processGroup);
        processGroup = 0;
        liveGroup = 0;
        process.reset();
    }
    for (const QString& file : qAsConst(stalePipeFiles))
        QFile::remove(file);
    stalePipeFiles.clear();
    launchedPipe.clear();
    area.reset();
    documentsLoaded = 0;
    broken = false;
}

OfficeSession::OfficeSession(const QString& programDir)
    : d(std::make_shared<OfficeSessionPrivate>(programDir))
{
}

OfficeSession::~OfficeSession() = default;

void OfficeSession::setCallTimeoutMs(int ms)
{
    d->callTimeoutMs = qMax(1, ms);
}

int OfficeSession::callTimeoutMs() const
{
    return d->callTimeoutMs;
}

void OfficeSession::setStartTimeoutMs(int ms)
{
    d->startTimeoutMs = qMax(1, ms);
}

int OfficeSession::startTimeoutMs() const
{
    return d->startTimeoutMs;
}

void OfficeSession::setMemoryLimitMiB(qint64 mib)
{
    d->memoryLimitMiB = qMax(qint64(1), mib);
}

void OfficeSession::setDocumentsPerProcess(int documents)
{
    d->documentsPerProcess = qMax(1, documents);
}

bool OfficeSession::ensureRunning()
{
    return d->ensureRunning();
}

void OfficeSession::shutdown()
{
    d->stopProcess(true);
}

void OfficeSession::launch()
{
    d->launch();
}

void OfficeSession::abort()
{
    d->abort();
}

qint64 OfficeSession::processId() const
{
    return d->processRunning() ? d->processId() : 0;
}

QString OfficeSession::lastError() const
{
    return d->lastError;
}
