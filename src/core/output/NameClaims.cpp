#include "output/NameClaims.h"

#include <QDir>
#include <QFileInfo>

namespace {

// One spelling per file: its folder as the file system resolves it ("..", links), its name.
QString fileKey(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? QDir::cleanPath(info.absolutePath()) : folder) + QLatin1Char('/')
        + info.fileName();
}

// "a/b.c.png" with n 2 gives "a/b.c-2.png": the number goes before the last suffix.
QString numbered(const QString& path, int n)
{
    const int folderEnd =
        qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QDir::separator()));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const int at = dot > folderEnd ? dot : path.size();
    return path.left(at) + QLatin1Char('-') + QString::number(n) + path.mid(at);
}

} // namespace

QString NameClaims::claim(const QString& path, const QString& source)
{
    const QMutexLocker lock(&mutex);
    QString candidate = path;
    for (int n = 2;; ++n) {
        const QString key = fileKey(candidate);
        const auto owner = owners.constFind(key);
        if (owner == owners.constEnd()) {
            owners.insert(key, source);
            return candidate;
        }
        if (owner.value() == source)
            return candidate;
        QStringList& others = clashes[source];
        if (!others.contains(owner.value()))
            others << owner.value();
        candidate = numbered(path, n);
    }
}

QStringList NameClaims::clashesOf(const QString& source) const
{
    const QMutexLocker lock(&mutex);
    return clashes.value(source);
}

void NameClaims::clear()
{
    const QMutexLocker lock(&mutex);
    owners.clear();
    clashes.clear();
}
