#pragma once

#include <QDir>
#include <QFile>

// Live members of a process group. Zombies do not count: in a container whose first
// process does not reap orphans they linger after the office has ended.
inline QList<qint64> groupMembers(qint64 group)
{
    QList<qint64> members;
    if (group <= 0)
        return members;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid pgrp ...": comm may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields.at(2).toLongLong() == group && fields.at(0) != "Z")
            members << entry.toLongLong();
    }
    return members;
}

inline bool groupAlive(qint64 group)
{
    return !groupMembers(group).isEmpty();
}
