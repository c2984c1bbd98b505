#pragma once

#include "job/ThumbJob.h"

#include <QString>

// The path a job gives the first page of its first source, named as the producers name it:
// what the window shows before the run.
struct NamePreview
{
    enum Problem {
        None,
        NoSource, // the job holds no file it can make thumbnails of
        EmptyName, // the template expands to nothing
        FolderInName // the expanded name holds a folder separator
    };

    // A file the job will make thumbnails of: the first chosen file of a family that can be
    // made here, else the first file of a ticked type found in a chosen folder; empty when
    // there is none.
    static QString firstSource(const ThumbJob& job);
    // What `source` (from firstSource, or empty) gets for the first page of its family.
    static NamePreview of(const ThumbJob& job, const QString& source);

    QString name; // the expanded template
    QString path; // folder, name and extension
    Problem problem = NoSource;
};
