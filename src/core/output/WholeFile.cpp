#include "output/WholeFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool WholeFile::write(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QByteArray partial =
            target + ".part-" + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        // Created with the usual permissions (0666 less the umask), as the thumbnail would be.
        const int fd = ::open(partial.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        const bool written = writeAll(fd, bytes);
        const bool closed = ::close(fd) == 0;
        if (written && closed && std::rename(partial.constData(), target.constData()) == 0)
            return true;
        ::unlink(partial.constData());
        return false;
    }
    return false;
}
