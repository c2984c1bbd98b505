#pragma once

#include "job/ThumbJob.h"
#include "options/JobOptions.h"

#include <QStringList>

// Turns plain job values into the engine's job, the same way for the window, the command
// line and the benchmarks.
class JobBuilder
{
public:
    // One settings entry per family: Text sized like Pdf, Text and Picture first page only.
    static ThumbJob build(const JobOptions& options);
    // The suffixes a family's producer claims, in the order of the window's file-type list.
    static QStringList extensions(qint32 family);
    // Whether the family's producer exists on this machine.
    static bool isAvailable(qint32 family);
    // Suffixes of every available family.
    static QStringList availableExtensions();
    // Suffixes of the ticked entries of the window's file-type list, given by their names
    // (any case), as the settings store them; unavailable families give none.
    static QStringList extensionsOfEntries(const QStringList& entries);
};
