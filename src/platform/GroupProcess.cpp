#include "GroupProcess.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

GroupProcess::GroupProcess(QObject* parent)
    : QProcess(parent)
    , parentId(::getpid())
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
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died before the line above.
    if (::getppid() != parentId)
        ::_exit(127);
}

void GroupProcess::killGroup()
{
    const qint64 pid = processId();
    if (pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
    kill();
    waitForFinished(5000);
}

QList<GroupProcess::Member> GroupProcess::groupMembers(qint64 group)
{
    QList<Member> members;
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
