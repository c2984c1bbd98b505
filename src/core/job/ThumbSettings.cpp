#include "job/ThumbSettings.h"

#include <QDir>
#include <QFileInfo>

ThumbSettings::ThumbSettings()
    : nameFormat(QStringLiteral("NAME") + QStringLiteral("_p") + QStringLiteral("PAGE")
                 + QStringLiteral("_thumbnail"))
{
}

void ThumbSettings::setOutputFolder(const QString& folder)
{
    outputFolder = folder;
    if (!outputFolder.endsWith(QDir::separator()))
        outputFolder += QDir::separator();
}

QString ThumbSettings::outputFolderFor(const QFile& file) const
{
    if (!useFileFolder)
        return outputFolder;
    QString folder = QDir::toNativeSeparators(QFileInfo(file).absolutePath());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}
