#include "JobOutcome.h"

#include <QLocale>

#include <algorithm>

namespace {

// One decimal below ten, whole numbers above.
QString number(double value)
{
    return QLocale().toString(value, 'f', value < 10 ? 1 : 0);
}

QString duration(qint64 ms)
{
    if (ms < 60000)
        return JobOutcome::tr("%1 s").arg(number(ms / 1000.0));
    return JobOutcome::tr("%1 min %2 s").arg(ms / 60000).arg(ms / 1000 % 60);
}

} // namespace

QString JobOutcome::summary() const
{
    // A job quicker than the clock's step still took some time.
    const double rate = files * 1000.0 / std::max<qint64>(elapsedMs, 1);
    const QString when = stopped ? tr("Stopped after %1 (%2 files a second).")
                                 : tr("Finished in %1 (%2 files a second).");
    QString text = when.arg(duration(elapsedMs), number(rate)) + QLatin1Char(' ')
        + tr("Thumbnails made: %1. Files that gave none: %2.").arg(thumbnails).arg(filesWithout);
    if (upToDate > 0)
        text += QLatin1Char(' ') + tr("Up to date: %1.").arg(upToDate);
    if (passedOver > 0)
        text += QLatin1Char(' ') + tr("Passed over: %1.").arg(passedOver);
    return text;
}

QString JobOutcome::balloon() const
{
    QString headline;
    if (stopped)
        headline = tr("Thumbnails generation was stopped. Click on icon to open Miravel window");
    else if (files == 0)
        headline = tr("No file to make thumbnails of was found. Click on icon to open Miravel "
                      "window");
    else if (filesWithout > 0)
        headline = tr("The job finished with %1 files that gave no thumbnails. Click on icon to "
                      "open Miravel window")
                       .arg(filesWithout);
    else
        headline = tr("Thumbnails were generated successfully. Click on icon to open Miravel "
                      "window");
    return headline + QLatin1Char('\n') + summary();
}
