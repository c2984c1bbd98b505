#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs a program to its end, without a shell, leading a process group of its own, within a
// time limit: on time-out the whole group is killed. The child is started with posix_spawn,
// which costs the same whatever this program's size, where a fork copies its page tables
// (25 ms for a program of 200 MB). A child that must not outlive this program finds its
// process id in MIRAVEL_PARENT_PID, sets itself a death signal and compares it with its
// parent's (pdftopng does).
class ChildRun
{
public:
    struct Result
    {
        bool started = false;
        bool timedOut = false;
        int exitCode = -1; // -1 when it did not exit normally
        QByteArray errorOutput; // what it wrote on its standard error
    };

    // Runs program with args in this process's environment with `environment` added, its
    // standard input and output the null device.
    static Result run(const QString& program, const QStringList& args, int timeoutMs,
                      const QProcessEnvironment& environment = QProcessEnvironment());

    static inline const char ParentVariable[] = "MIRAVEL_PARENT_PID";
};
