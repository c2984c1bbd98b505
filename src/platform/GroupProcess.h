#pragma once

#include <QList>
#include <QProcess>
#include <QStringList>

// A QProcess whose child leads a process group of its own, so that the child and
// everything it spawns can be ended together. The child is killed when the thread that
// started it ends, and so when this program ends, however it ends: start it from a thread
// that outlives it.
class GroupProcess : public QProcess
{
    Q_OBJECT
    Q_DISABLE_COPY(GroupProcess)

public:
    explicit GroupProcess(QObject* parent = nullptr);
    ~GroupProcess() override;

    // SIGKILL to the child's whole process group, then reaps the child.
    void killGroup();

    struct Member
    {
        qint64 pid = 0;
        qint64 residentPages = 0;
    };
    // Live members of a process group. Zombies do not count.
    static QList<Member> groupMembers(qint64 group);

protected:
    void setupChildProcess() override;

private:
    const qint64 parentId; // this program's process id, seen by the child after the fork
};
