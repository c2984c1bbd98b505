#pragma once

#include <QFile>
#include <QString>

// What one producer needs to make thumbnails of its file family.
struct ThumbSettings
{
    enum tOutFormat : qint32 {
        OutBmp = 0,
        OutJpeg = 1,
        OutPng = 2
    };

    ThumbSettings();

    // Stores the folder with a trailing native separator.
    void setOutputFolder(const QString& folder);
    QString getNameFormat() const { return nameFormat; }
    // Folder that receives the thumbnails of `file`, ending with the native separator.
    QString outputFolderFor(const QFile& file) const;

    QString nameFormat;
    QString outputFolder;
    qint32 width = -1;
    qint32 height = -1;
    qint32 pageStart = 1;
    qint32 pageEnd = 1;
    tOutFormat outputFormat = OutPng;
    bool keepAspectRatio = true;
    bool useFileFolder = false;
};
