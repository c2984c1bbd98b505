#include "OfficeAreaSweeper.h"

#include "GroupProcess.h"
#include "OfficeArea.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <csignal>
#include <unistd.h>

namespace {

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

void OfficeAreaSweeper::record(const QString& areaPath, qint64 group, const QStringList& pipeFiles)
{
    OfficeArea::writeRecord(areaPath, {group, pipeFiles});
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
    const QFileInfoList areas = temp.entryInfoList({OfficeArea::Prefix + QLatin1Char('*')},
                                                   QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& area : areas) {
        const QStringList parts =
            area.fileName().mid(OfficeArea::Prefix.size()).split(QLatin1Char('-'));
        bool isPid = false;
        const qint64 owner = parts.first().toLongLong(&isPid);
        if (parts.size() != 2 || !isPid || owner <= 0 || area.ownerId() != ::getuid()
            || QFileInfo::exists(QStringLiteral("/proc/%1").arg(owner)))
            continue;
        const OfficeArea::Record record = OfficeArea::readRecord(area.filePath());
        if (record.group > 0) {
            const QByteArray profileArgument =
                "-env:UserInstallation=" + OfficeArea::profileUrl(area.filePath()).toUtf8();
            for (const GroupProcess::Member& member : GroupProcess::groupMembers(record.group)) {
                QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(member.pid));
                if (commandLine.open(QIODevice::ReadOnly)
                    && commandLine.readAll().split('\0').contains(profileArgument))
                    ::kill(static_cast<pid_t>(member.pid), SIGKILL);
            }
        }
        // Only the office's own pipe files are listed.
        QStringList leftovers =
            record.pipeFiles.filter(QRegularExpression(QStringLiteral("^(/var)?/tmp/OSL_PIPE_")));
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
