#pragma once

#include "options/JobOptions.h"

#include <QCoreApplication>
#include <QPair>
#include <QSize>
#include <QStringList>

#include <optional>

// The command line of a run without a window, checked in full before any work starts.
class BatchOptions
{
    Q_DECLARE_TR_FUNCTIONS(BatchOptions)

public:
    // Whether the command line asks for a run without a window.
    static bool isRequested(int argc, char* argv[]);

    // Reads `arguments` (the program first). On a usage error answers false and sets
    // `error`; prints the help and exits when it is asked for.
    bool parse(const QStringList& arguments);

    // "200x200".
    static std::optional<QSize> parseSize(const QString& text);
    // "3" or "1-10".
    static std::optional<QPair<int, int>> parsePages(const QString& text);
    // "png", "jpg" (or "jpeg") or "bmp", any case.
    static std::optional<ThumbSettings::tOutFormat> parseFormat(const QString& text);
    // "K/N" with 1 <= K <= N.
    static std::optional<Shard> parseShard(const QString& text);

    JobOptions job;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    QString error;

private:
    bool fail(const QString& reason);
    bool applyTypes(const QStringList& names, const QStringList& suffixes);
    // Applies "[FAMILY=]VALUE" to the named group or to all; false on a bad family or value.
    bool applyPerFamily(const QString& option, const QString& value, bool pagesOnly);
    bool readPathList(const QString& source, bool nulSeparated);
    bool checkOutput();
};
