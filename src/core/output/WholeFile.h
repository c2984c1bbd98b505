#pragma once

#include <QByteArray>
#include <QString>

// Writes a file whole or not at all: the bytes go to a temporary name beside it, renamed over
// it once written, so that a full disk or a crash never leaves a cut file under its name.
// Unlike QSaveFile it does not wait for the disk (fdatasync) before the rename: a thumbnail is
// remade, not kept as the only copy of anything, and that wait cost up to a third of a second
// a thumbnail on a busy disk.
class WholeFile
{
public:
    static bool write(const QString& path, const QByteArray& bytes);
};
