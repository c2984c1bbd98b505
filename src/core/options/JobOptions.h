#pragma once

#include "job/ThumbJob.h"

#include <QMap>
#include <QString>
#include <QStringList>

// What a job is built from, as plain values: what the window's pages hold, or what the
// command line asks for. Defaults are the window's.
struct JobOptions
{
    // Size, pages and aspect of one option group.
    struct Group
    {
        qint32 width = 200;
        qint32 height = 200;
        qint32 pageStart = 1;
        qint32 pageEnd = 1;
        bool keepAspectRatio = true;
    };

    static constexpr qint32 MinSize = 20;
    static constexpr qint32 MaxSize = 1000;
    static constexpr qint32 MaxPage = 1000;
    static inline const QString DefaultNameFormat = QStringLiteral("thumbnail_[NAME]_[PAGE]");

    // One group per family that has its own options: Word, Excel, PowerPoint, Pdf (which
    // also governs Text) and Picture (whose pages are not used).
    QMap<qint32, Group> groups {
        {Excel, {}}, {Picture, {}}, {Pdf, {}}, {PowerPoint, {}}, {Word, {}}};
    QStringList extensions;
    QStringList paths;
    bool recursive = false;
    QString outputFolder; // as given; not used with useFileFolder
    bool useFileFolder = false;
    ThumbSettings::tOutFormat outputFormat = ThumbSettings::OutPng;
    QString nameFormat = DefaultNameFormat;
    // Only new or changed sources are made; ignored with a template that reads the clock.
    bool update = false;
    Shard shard;
};
