#pragma once

#include <QString>

// What an installed LibreOffice offers, read from its program folder without starting it.
class OfficeInstallation
{
public:
    static QString defaultProgramDir();
    static OfficeInstallation probe(const QString& programDir);
    // The installation this process uses; probed once, on first use.
    static const OfficeInstallation& system();

    QString programDir() const { return dir; }
    int majorVersion() const { return major; }
    bool writerAvailable() const { return usable() && writer; }
    bool calcAvailable() const { return usable() && calc; }
    bool impressAvailable() const { return usable() && impress; }

    static constexpr int MinimumMajorVersion = 7;

private:
    bool usable() const { return major >= MinimumMajorVersion; }

    QString dir;
    int major = 0;
    bool writer = false;
    bool calc = false;
    bool impress = false;
};
