#include "output/NameTemplate.h"

#include "job/Names.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace {

const QString DatePattern = QStringLiteral("ddd_MMMM_d_yyyy");
const QString TimePattern = QStringLiteral("hh_mm");

QString sizeText(quint64 size)
{
    const QLocale locale;
    constexpr quint64 KB = 1024, MB = KB * 1024, GB = MB * 1024, TB = GB * 1024;
    if (size >= TB)
        return QStringLiteral("%1 TB").arg(locale.toString(double(size) / TB, 'f', 3));
    if (size >= GB)
        return QStringLiteral("%1 GB").arg(locale.toString(double(size) / GB, 'f', 2));
    if (size >= MB)
        return QStringLiteral("%1 MB").arg(locale.toString(double(size) / MB, 'f', 1));
    if (size >= KB)
        return QStringLiteral("%1 KB").arg(locale.toString(size / KB));
    return QStringLiteral("%1 byte(s)").arg(locale.toString(size));
}

QString dateText(const QDateTime& when)
{
    return QLocale().toString(when.date(), DatePattern);
}

QString timeText(const QDateTime& when)
{
    return QLocale().toString(when.time(), TimePattern);
}

} // namespace

QString NameTemplate::expand(const QString& nameTemplate, const QFile& file, qint32 page)
{
    QString result;
    int i = 0;
    const int n = nameTemplate.size();
    while (i < n) {
        const QChar c = nameTemplate.at(i);
        if (c != QLatin1Char('[')) {
            result += c;
            ++i;
            continue;
        }
        const int close = nameTemplate.indexOf(QLatin1Char(']'), i + 1);
        if (close < 0) {
            result += expandToken(nameTemplate.mid(i + 1), file, page);
            break;
        }
        result += expandToken(nameTemplate.mid(i + 1, close - i - 1), file, page);
        i = close + 1;
    }
    return result;
}

QString NameTemplate::expandToken(const QString& token, const QFile& file, qint32 page)
{
    const QString word = token.toUpper();
    const QFileInfo info(file);
    using namespace Names::Token;
    if (word == Date)
        return dateText(QDateTime::currentDateTime());
    if (word == Name)
        return info.completeBaseName();
    if (word == Page)
        return QString::number(page);
    if (word == Time)
        return timeText(QDateTime::currentDateTime());
    if (word == CreatedTime)
        return timeText(info.birthTime());
    if (word == CreatedDate)
        return dateText(info.birthTime());
    if (word == ModifiedTime)
        return timeText(info.lastModified());
    if (word == ModifiedDate)
        return dateText(info.lastModified());
    if (word == Folder)
        return QFileInfo(info.absolutePath()).baseName();
    if (word == FileSize)
        return sizeText(quint64(info.size()));
    return QString();
}

bool NameTemplate::readsClock(const QString& nameTemplate)
{
    for (int open = nameTemplate.indexOf(QLatin1Char('[')); open >= 0;) {
        const int close = nameTemplate.indexOf(QLatin1Char(']'), open + 1);
        const QString word =
            nameTemplate.mid(open + 1, close < 0 ? -1 : close - open - 1).toUpper();
        if (word == Names::Token::Date || word == Names::Token::Time)
            return true;
        if (close < 0)
            break;
        open = nameTemplate.indexOf(QLatin1Char('['), close + 1);
    }
    return false;
}

QString NameTemplate::clockExcludesUpdate()
{
    return tr("Only new or changed files cannot be made with a name template that holds "
              "[DATE] or [TIME]: it names every thumbnail anew at each run, so none made "
              "before is found again.");
}
