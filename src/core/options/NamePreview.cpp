#include "options/NamePreview.h"

#include "job/FileFamilies.h"
#include "options/JobBuilder.h"
#include "producers/Thumbnailer.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

qint32 familyOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (qint32 family : {Word, Excel, PowerPoint, Text, Pdf, Picture}) {
        if (FileFamilies::suffixSet(family).contains(suffix) && JobBuilder::isAvailable(family))
            return family;
    }
    return NoType;
}

} // namespace

QString NamePreview::firstSource(const ThumbJob& job)
{
    for (const QString& path : job.paths) {
        if (!QFileInfo(path).isDir()) {
            if (familyOf(path) != NoType)
                return path;
            continue;
        }
        QStringList patterns;
        for (const QString& extension : job.extensions)
            patterns << QStringLiteral("*.") + extension;
        QDirIterator it(path, patterns, QDir::Files,
                        job.recursive ? QDirIterator::Subdirectories
                                      : QDirIterator::NoIteratorFlags);
        while (it.hasNext()) {
            const QString found = QDir::toNativeSeparators(it.next());
            if (familyOf(found) != NoType)
                return found;
        }
    }
    return QString();
}

NamePreview NamePreview::of(const ThumbJob& job, const QString& source)
{
    NamePreview preview;
    if (source.isEmpty())
        return preview;
    const ThumbSettings settings = job.settings.value(familyOf(source));
    const QFile file(source);
    preview.name = Thumbnailer::expandTemplate(settings.nameFormat, file, settings.pageStart);
    preview.path = Thumbnailer::thumbnailPath(settings, settings.outputFolderFor(file), file,
                                              settings.pageStart);
    if (preview.name.isEmpty())
        preview.problem = EmptyName;
    else if (QDir::fromNativeSeparators(preview.name).contains(QLatin1Char('/')))
        preview.problem = FolderInName;
    else
        preview.problem = None;
    return preview;
}
