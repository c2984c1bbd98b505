#pragma once

#include "options/JobOptions.h"

#include <QStringList>

class QSettings;

// The window's choices kept between runs under the "MVS" keys. Absent keys read as the
// window's defaults; numbers are held to the ranges the window accepts.
class StoredSettings
{
public:
    StoredSettings();

    void read(const QSettings& store);
    void write(QSettings& store) const;

    QStringList fileTypes; // names of the ticked entries of the file-type list
    JobOptions options; // paths and extensions are not stored
};
