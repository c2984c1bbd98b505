#include "ChildRun.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

// NUL-terminated copies of the strings, and the pointer array that exec wants.
class CStrings
{
public:
    explicit CStrings(const QList<QByteArray>& strings)
        : bytes(strings)
    {
        for (QByteArray& s : bytes)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    char* const* data() { return pointers.data(); }

private:
    QList<QByteArray> bytes;
    std::vector<char*> pointers;
};

// A descriptor that becomes readable when the process ends; -1 where the kernel has none.
int processDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

void closeDescriptor(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Appends what can be read now; closes the descriptor at its end.
void drain(int& fd, QByteArray& into)
{
    char buffer[4096];
    while (fd >= 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            into.append(buffer, int(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            closeDescriptor(fd);
        else if (errno == EAGAIN)
            return;
    }
}

} // namespace

ChildRun::Result ChildRun::run(const QString& program, const QStringList& args, int timeoutMs,
                               const QProcessEnvironment& environment)
{
    Result result;
    QList<QByteArray> argv {QFile::encodeName(program)};
    for (const QString& arg : args)
        argv << QFile::encodeName(arg);
    QProcessEnvironment merged = QProcessEnvironment::systemEnvironment();
    merged.insert(environment);
    merged.insert(QLatin1String(ParentVariable), QString::number(::getpid()));
    QList<QByteArray> envp;
    for (const QString& entry : merged.toStringList())
        envp << QFile::encodeName(entry);
    CStrings arguments(argv);
    CStrings variables(envp);

    int error[2];
    if (::pipe2(error, O_CLOEXEC) != 0)
        return result;
    // Read without waiting, so that what is left once the child has ended can be drained.
    ::fcntl(error[0], F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, error[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own; every signal at its default and none blocked, whatever this
    // program ignores (SIGPIPE) or blocks.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv.first().constData(), &actions, &attributes,
                                      arguments.data(), variables.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(error[1]);
    if (spawned != 0) {
        ::close(error[0]);
        return result;
    }
    result.started = true;

    // Reads standard error until the process ends or the time is up.
    const QDeadlineTimer deadline(timeoutMs);
    int ended = processDescriptor(pid);
    int output = error[0];
    int status = 0;
    bool reaped = false;
    while (!reaped) {
        pollfd watched[2] = {{output, POLLIN, 0}, {ended, POLLIN, 0}};
        // Without a process descriptor the end is checked for ten times a second.
        const qint64 left = deadline.remainingTime(); // -1: no limit
        const int wait = ended >= 0 ? int(qMin<qint64>(left, INT_MAX))
                                    : (left < 0 ? 100 : int(qMin<qint64>(left, 100)));
        if (::poll(watched, 2, wait) < 0 && errno != EINTR)
            break;
        if (watched[0].revents)
            drain(output, result.errorOutput);
        reaped = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!reaped && deadline.hasExpired()) {
            result.timedOut = true;
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
    }
    if (reaped)
        drain(output, result.errorOutput);
    closeDescriptor(ended);
    closeDescriptor(output);
    if (!result.timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}
