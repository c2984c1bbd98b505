#pragma once

#include <QString>
#include <QStringList>

// Layout of an office's private area in the temporary folder: its name, the profile, the
// temporary folder given to the office and the record of its process group and pipe files.
// The office process makes and fills an area; the sweeper reads those that dead runs left.
namespace OfficeArea {

// Areas are named after the program process that owns them: PREFIX<pid>-XXXXXX.
inline const QString Prefix = QStringLiteral("miravel-office-");

// QTemporaryDir template of a new area of this process.
QString areaTemplate();
QString profileDir(const QString& areaPath);
QString profileUrl(const QString& areaPath);
QString tempDir(const QString& areaPath);

struct Record
{
    qint64 group = 0;
    QStringList pipeFiles;
};
// Written once the office runs; read by a later run's sweep.
void writeRecord(const QString& areaPath, const Record& record);
// The area's record; group 0 when there is none.
Record readRecord(const QString& areaPath);

} // namespace OfficeArea
