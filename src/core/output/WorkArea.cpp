#include "output/WorkArea.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace {

const QString AreaPrefix = QStringLiteral("run-");

} // namespace

QString WorkArea::workingFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
    QDir dir(folder);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return QDir::toNativeSeparators(folder) + QDir::separator();
}

QString WorkArea::path()
{
    static const WorkArea instance;
    return instance.area;
}

QString WorkArea::check()
{
    const QByteArray area = QFile::encodeName(path());
    std::error_code error;
    std::filesystem::create_directories(area.constData(), error);
    return error ? QString::fromLocal8Bit(error.message().c_str()) : QString();
}

WorkArea::WorkArea()
{
    const QString root = workingFolder();
    const QFileInfoList areas = QDir(root).entryInfoList({AreaPrefix + QLatin1Char('*')},
                                                         QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& stale : areas) {
        bool ok = false;
        const pid_t pid = stale.fileName().mid(AreaPrefix.size()).toInt(&ok);
        if (ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(stale.absoluteFilePath()).removeRecursively();
    }
    area = root + AreaPrefix + QString::number(::getpid());
    QDir().mkpath(area);
    area = QDir::toNativeSeparators(area) + QDir::separator();
}

WorkArea::~WorkArea()
{
    QDir(area).removeRecursively();
}
