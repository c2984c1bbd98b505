#include "OfficeAreaSweeper.h"

#include "OfficeProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <csignal>
#include <unistd.h>

namespace {

// Areas are named after the process that owns them.
const char AreaPrefix[] = "miravel-office-";
const char RecordFile[] = "office";

void removeLeftovers(const QStringList& leftovers)
{
    for (const QString& path : leftovers) {
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

} // namespace

QString OfficeAreaSweeper::areaTemplate()
{
    return QDir::tempPath() + QLatin1Char('/') + QLatin1String(AreaPrefix)
        + QStringLiteral("%1-XXXXXX").arg(::getpid());
}

QString OfficeAreaSweeper::profileDir(const QString& areaPath)
{
    return areaPath + QStringLiteral("/profile");
}

QString OfficeAreaSweeper::profileUrl(const QString& areaPath)
{
    return QUrl::fromLocalFile(profileDir(areaPath)).toString(QUrl::FullyEncoded);
}

QString OfficeAreaSweeper::tempDir(const QString& areaPath)
{
    return areaPath + QStringLiteral("/tmp");
}

void OfficeAreaSweeper::record(const QString& areaPath, qint64 group, const QStringList& pipeFiles)
{
    QFile record(areaPath + QLatin1Char('/') + QLatin1String(RecordFile));
    if (record.open(QIODevice::WriteOnly))
        record.write(
            (QStringList(QString::number(group)) << pipeFiles).join(QLatin1Char('\n')).toUtf8());
    record.close();
    OfficeAreaSweeper& sweeper = instance();
    const std::lock_guard<std::mutex> lock(sweeper.mutex);
    sweeper.running.insert(group, QStringList(pipeFiles) << areaPath);
}

void OfficeAreaSweeper::forget(qint64 group)
{
    if (gone)
        return;
    OfficeAreaSweeper& sweeper = instance();
    const std::lock_guard<std::mutex> lock(sweeper.mutex);
    sweeper.running.remove(group);
}

void OfficeAreaSweeper::sweepOrphans()
{
    const QDir temp(QDir::tempPath());
    const QFileInfoList areas = temp.entryInfoList({QLatin1String(AreaPrefix) + QLatin1Char('*')},
                                                   QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& area : areas) {
        const QStringList parts =
            area.fileName().mid(int(qstrlen(AreaPrefix))).split(QLatin1Char('-'));
        bool isPid = false;
        const qint64 owner = parts.first().toLongLong(&isPid);
        if (parts.size() != 2 || !isPid || owner <= 0 || area.ownerId() != ::getuid()
            || QFileInfo::exists(QStringLiteral("/proc/%1").arg(owner)))
            continue;
        QFile record(area.filePath() + QLatin1Char('/') + QLatin1String(RecordFile));
        QStringList leftovers;
        if (record.open(QIODevice::ReadOnly)) {
            leftovers =
                QString::fromUtf8(record.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        if (!leftovers.isEmpty()) {
            const QByteArray profileArgument =
                "-env:UserInstallation=" + profileUrl(area.filePath()).toUtf8();
            const qint64 group = leftovers.takeFirst().toLongLong();
            for (const OfficeProcess::Member& member : OfficeProcess::groupMembers(group)) {
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

OfficeAreaSweeper& OfficeAreaSweeper::instance()
{
    static OfficeAreaSweeper sweeper;
    return sweeper;
}

OfficeAreaSweeper::~OfficeAreaSweeper()
{
    const std::lock_guard<std::mutex> lock(mutex);
    for (auto it = running.cbegin(); it != running.cend(); ++it) {
        ::kill(-static_cast<pid_t>(it.key()), SIGKILL);
        removeLeftovers(it.value());
    }
    gone = true;
}
