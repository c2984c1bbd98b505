#include "OfficeArea.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <unistd.h>

namespace {

const char RecordFile[] = "office";

QString recordPath(const QString& areaPath)
{
    return areaPath + QLatin1Char('/') + QLatin1String(RecordFile);
}

} // namespace

QString OfficeArea::areaTemplate()
{
    return QDir::tempPath() + QLatin1Char('/') + Prefix
        + QStringLiteral("%1-XXXXXX").arg(::getpid());
}

QString OfficeArea::profileDir(const QString& areaPath)
{
    return areaPath + QStringLiteral("/profile");
}

QString OfficeArea::profileUrl(const QString& areaPath)
{
    return QUrl::fromLocalFile(profileDir(areaPath)).toString(QUrl::FullyEncoded);
}

QString OfficeArea::tempDir(const QString& areaPath)
{
    return areaPath + QStringLiteral("/tmp");
}

void OfficeArea::writeRecord(const QString& areaPath, const Record& record)
{
    QFile file(recordPath(areaPath));
    if (file.open(QIODevice::WriteOnly))
        file.write((QStringList(QString::number(record.group)) << record.pipeFiles)
                       .join(QLatin1Char('\n'))
                       .toUtf8());
}

OfficeArea::Record OfficeArea::readRecord(const QString& areaPath)
{
    Record record;
    QFile file(recordPath(areaPath));
    if (!file.open(QIODevice::ReadOnly))
        return record;
    QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return record;
    record.group = lines.takeFirst().toLongLong();
    record.pipeFiles = lines;
    return record;
}
