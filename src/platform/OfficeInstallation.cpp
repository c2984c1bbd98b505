#include "OfficeInstallation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

namespace {

// "LibreOffice 7.4.7.2 40(Build:2)" or an UpdateID such as "LibreOffice_7_en-US_...".
int majorFrom(const QString& text, const QRegularExpression& pattern)
{
    const QRegularExpressionMatch m = pattern.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

int readMajorVersion(const QDir& dir)
{
    const QString rc = dir.filePath(QStringLiteral("versionrc"));
    if (QFileInfo::exists(rc)) {
        const QSettings version(rc, QSettings::IniFormat);
        const int major = majorFrom(version.value(QStringLiteral("Version/UpdateID")).toString(),
                                    QRegularExpression(QStringLiteral("^LibreOffice_(\\d+)_")));
        if (major > 0)
            return major;
    }
    // Fall back to asking the program; this does not start an office session.
    QProcess soffice;
    soffice.start(dir.filePath(QStringLiteral("soffice")), {QStringLiteral("--version")});
    if (!soffice.waitForFinished(30000)) {
        soffice.kill();
        soffice.waitForFinished(1000);
        return 0;
    }
    return majorFrom(QString::fromLocal8Bit(soffice.readAllStandardOutput()),
                     QRegularExpression(QStringLiteral("LibreOffice (\\d+)\\.")));
}

} // namespace

QString OfficeInstallation::defaultProgramDir()
{
    return QStringLiteral("/usr/lib/libreoffice/program");
}

OfficeInstallation OfficeInstallation::probe(const QString& programDir)
{
    OfficeInstallation office;
    office.dir = programDir;
    const QDir dir(programDir);
    if (!QFileInfo(dir.filePath(QStringLiteral("soffice"))).isExecutable())
        return office;
    // Each module ships its core library; the -nogui packages have them too.
    office.writer = QFileInfo::exists(dir.filePath(QStringLiteral("libswlo.so")));
    office.calc = QFileInfo::exists(dir.filePath(QStringLiteral("libsclo.so")));
    office.impress = QFileInfo::exists(dir.filePath(QStringLiteral("libsdlo.so")));
    if (office.writer || office.calc || office.impress)
        office.major = readMajorVersion(dir);
    return office;
}

const OfficeInstallation& OfficeInstallation::system()
{
    static const OfficeInstallation installed = probe(defaultProgramDir());
    return installed;
}
