#include "OfficeSession.h"
#include "OfficeSession_p.h"

#include "OfficeInstallation.h"
#include "OfficeUno_p.h"

#include <QLoggingCategory>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>

#include <csignal>

using namespace css;
using OfficeUno::toOUString;
using OfficeUno::toQString;

namespace {

Q_LOGGING_CATEGORY(lcOffice, "miravel.office", QtWarningMsg)

constexpr int StartTimeoutMs = 90000;
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
    , memoryLimitMiB(OfficeSession::DefaultMemoryLimitMiB)
    , documentsPerProcess(OfficeSession::DefaultDocumentsPerProcess)
    , owner(QThread::currentThread())
    , runner(
          [this] {
              if (aborted)
                  return QStringLiteral("was aborted");
              if (process && process->residentMiB() > memoryLimitMiB)
                  return QStringLiteral("took more than %1 MiB of memory").arg(memoryLimitMiB);
              return QString();
          },
          [this] {
              broken = true;
              if (process)
                  process->killAll();
              return aborted ? AfterAbortTimeoutMs : AfterKillTimeoutMs;
          },
          MemoryPollMs)
{
}

OfficeSessionPrivate::~OfficeSessionPrivate()
{
    stopProcess(true);
    // Proxies must go before the local context that bridges them.
    localContext.clear();
}

OfficeResult<bool> OfficeSessionPrivate::bootstrap()
{
    if (localContext.is())
        return {true, QString()};
    // Without this the bootstrap cannot find the UNO runtime's configuration and crashes.
    if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP"))
        qputenv("URE_BOOTSTRAP",
                "vnd.sun.star.pathname:" MIRAVEL_LIBREOFFICE_PROGRAM_DIR "/fundamentalrc");
    try {
        localContext = cppu::defaultBootstrap_InitialComponentContext();
    } catch (...) {
        return OfficeResult<bool>::failure(QStringLiteral("Cannot bootstrap UNO: ")
                                           + caughtException());
    }
    return {true, QString()};
}

bool OfficeSessionPrivate::serves(quint64 processGeneration) const
{
    return processGeneration == generation && desktop.is() && !broken;
}

OfficeResult<bool> OfficeSessionPrivate::ensureRunning()
{
    Q_ASSERT(QThread::currentThread() == owner);
    if (aborted)
        return OfficeResult<bool>::failure(QStringLiteral("The office session was aborted"));
    if (documentsLoaded >= documentsPerProcess)
        stopProcess(true);
    if (launched) {
        // Started in the background: it has had at least the usual start time.
        launched = false;
        const OfficeResult<bool> connected = connect(QDeadlineTimer(StartTimeoutMs));
        if (!connected.ok()) {
            qCWarning(lcOffice) << connected.error;
            stopProcess(false);
        }
        return connected;
    }
    if (desktop.is() && !broken && processRunning()) {
        const OfficeResult<bool> answered = run(
            QStringLiteral("Checking the office process"),
            [desktop = desktop] {
                uno::Reference<lang::XServiceInfo>(desktop, uno::UNO_QUERY_THROW)
                    ->getImplementationName();
            },
            PingTimeoutMs);
        if (answered.ok())
            return answered;
        if (!aborted)
            qCWarning(lcOffice) << "Restarting the office process:" << answered.error;
    }
    // An abort may have come while the office was asked: no new office for it.
    if (aborted)
        return OfficeResult<bool>::failure(QStringLiteral("The office session was aborted"));
    stopProcess(false);
    const QDeadlineTimer deadline(StartTimeoutMs);
    const OfficeResult<bool> started = startProcess(deadline);
    if (!started.ok())
        return started;
    const OfficeResult<bool> connected = connect(deadline);
    if (!connected.ok()) {
        qCWarning(lcOffice) << connected.error;
        stopProcess(false);
    }
    return connected;
}

void OfficeSessionPrivate::launch()
{
    Q_ASSERT(QThread::currentThread() == owner);
    // ensureRunning() connects once a document needs the office.
    if (!aborted && !process)
        launched = startProcess(QDeadlineTimer(StartTimeoutMs)).ok();
}

OfficeResult<bool> OfficeSessionPrivate::startProcess(const QDeadlineTimer& deadline)
{
    const OfficeResult<bool> bootstrapped = bootstrap();
    if (!bootstrapped.ok())
        return bootstrapped;
    OfficeResult<std::unique_ptr<OfficeProcess>> started =
        OfficeProcess::launch(programDir, deadline);
    if (!started.ok())
        return OfficeResult<bool>::failure(started.error);
    process = std::move(started.value);
    liveGroup = process->group();
    // abort() may have come before the group was known to it.
    if (aborted)
        process->killAll();
    ++generation;
    documentsLoaded = 0;
    broken = false;
    return {true, QString()};
}

OfficeResult<bool> OfficeSessionPrivate::connect(const QDeadlineTimer& deadline)
{
    const rtl::OUString url = toOUString(process->connectUrl());
    struct Connection
    {
        uno::Reference<uno::XComponentContext> context;
        uno::Reference<frame::XDesktop2> desktop;
    };
    while (!deadline.hasExpired()) {
        if (!process->isRunning())
            return OfficeResult<bool>::failure(
                QStringLiteral("The office process ended while starting (exit code %1)")
                    .arg(process->lastExitCode()));
        const OfficeResult<Connection> connection = call<Connection>(
            QStringLiteral("Connecting to the office"),
            [localContext = localContext, url] {
                Connection result;
                try {
                    const uno::Reference<bridge::XUnoUrlResolver> resolver =
                        bridge::UnoUrlResolver::create(localContext);
                    result.context.set(resolver->resolve(url), uno::UNO_QUERY_THROW);
                } catch (const connection::NoConnectException&) {
                    return result; // not listening yet
                }
                result.desktop = frame::Desktop::create(result.context);
                return result;
            },
            qMax(1, int(deadline.remainingTime())));
        if (!connection.ok())
            return OfficeResult<bool>::failure(connection.error);
        if (connection.value.desktop.is()) {
            remoteContext = connection.value.context;
            desktop = connection.value.desktop;
            return {true, QString()};
        }
        // Waiting on the process also notices when it ends.
        process->waitForExit(qMax(0, qMin(ConnectRetryMs, int(deadline.remainingTime()))));
    }
    return OfficeResult<bool>::failure(
        QStringLiteral("The office did not answer within %1 ms").arg(StartTimeoutMs));
}

OfficeResult<bool> OfficeSessionPrivate::run(const QString& what, const std::function<void()>& work,
                                             int timeoutMs)
{
    Q_ASSERT(QThread::currentThread() == owner);
    const DeadlineRunner::Result result =
        runner.run(work, timeoutMs < 0 ? callTimeoutMs : timeoutMs);
    if (!result.fault.isEmpty()) {
        const QString message = what + QLatin1Char(' ') + result.fault
            + QStringLiteral("; the office process was ended");
        qCWarning(lcOffice) << message;
        return OfficeResult<bool>::failure(message);
    }
    if (!result.exception)
        return {true, QString()};
    QString error;
    try {
        std::rethrow_exception(result.exception);
    } catch (const lang::DisposedException&) {
        broken = true;
        error = caughtException();
    } catch (...) {
        error = caughtException();
    }
    return OfficeResult<bool>::failure(what + QStringLiteral(" failed: ") + error);
}

void OfficeSessionPrivate::abort()
{
    aborted = true;
    const qint64 group = liveGroup;
    if (group > 0)
        ::kill(-static_cast<pid_t>(group), SIGKILL);
}

void OfficeSessionPrivate::stopProcess(bool graceful)
{
    if (graceful && !aborted && desktop.is() && !broken && processRunning()) {
        // The office may exit before it answers.
        static_cast<void>(run(
            QStringLiteral("Ending the office"), [desktop = desktop] { desktop->terminate(); },
            TerminateTimeoutMs));
    }
    desktop.clear();
    remoteContext.clear();
    if (process && graceful)
        process->waitForExit(ExitTimeoutMs);
    process.reset();
    liveGroup = 0;
    launched = false;
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

void OfficeSession::setMemoryLimitMiB(qint64 mib)
{
    d->memoryLimitMiB = qMax(qint64(1), mib);
}

void OfficeSession::setDocumentsPerProcess(int documents)
{
    d->documentsPerProcess = qMax(1, documents);
}

OfficeResult<bool> OfficeSession::ensureRunning()
{
    return d->ensureRunning();
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
    return d->processId();
}
