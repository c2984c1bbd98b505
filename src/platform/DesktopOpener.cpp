#include "DesktopOpener.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <unistd.h>

namespace {

const QString Opener = QStringLiteral("xdg-open");

// The opener, and the viewer or browser it starts, get a session of their own: what ends
// Miravel from its terminal or process group does not reach them.
class SessionProcess : public QProcess
{
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override { ::setsid(); }
};

QString displayed(const QUrl& url)
{
    return url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
}

} // namespace

DesktopOpener::DesktopOpener(QObject* parent)
    : QObject(parent)
{
}

DesktopOpener::~DesktopOpener()
{
    // xdg-open may wait for the viewer it started; ending it leaves the viewer running.
    for (QProcess* process : findChildren<QProcess*>()) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished();
    }
}

void DesktopOpener::open(const QUrl& url)
{
    auto* process = new SessionProcess(this);
    // No pipes: a viewer that outlives us must not write into a closed one.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this, process, url] { onOpenerFinished(process, url); });
    // A process that never started reports no end.
    connect(process, &QProcess::errorOccurred, this,
            [this, process, url](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                process->deleteLater();
                emit failed(displayed(url), tr("no program to open it was found"));
            });
    process->start(Opener, {url.toString(QUrl::FullyEncoded)});
}

void DesktopOpener::onOpenerFinished(QProcess* process, const QUrl& url)
{
    process->deleteLater();
    if (process->exitStatus() == QProcess::CrashExit)
        emit failed(displayed(url), tr("the program that opens it crashed"));
    else if (process->exitCode() != 0)
        emit failed(
            displayed(url),
            tr("the program that opens it failed (exit status %1)").arg(process->exitCode()));
}

void DesktopOpener::showFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return;
    const QString folder = info.absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        open(QUrl::fromLocalFile(folder));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList {QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
    // A file manager that is not running yet may be started by the bus: allow for that.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, folder](QDBusPendingCallWatcher* answered) {
                onShowItemsAnswered(answered, folder);
            });
}

void DesktopOpener::onShowItemsAnswered(QDBusPendingCallWatcher* call, const QString& folder)
{
    call->deleteLater();
    if (call->isError())
        open(QUrl::fromLocalFile(folder));
}
