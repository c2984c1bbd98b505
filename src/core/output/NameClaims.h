#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>

// The thumbnail paths one job has given out, each to the source that asked for it first, so
// that no source's thumbnail replaces another's. Thread-safe.
class NameClaims
{
    Q_DISABLE_COPY(NameClaims)

public:
    NameClaims() = default;

    // Where `source` may write a thumbnail it would write to `path`: there, unless another
    // source of the job holds it; then the first free of "-2", "-3", ... put before the
    // extension. A source asking again for a path gets the same answer, so its pages that
    // share one name replace each other as they would without claims.
    QString claim(const QString& path, const QString& source);
    // The sources that held paths `source` asked for, in the order met.
    QStringList clashesOf(const QString& source) const;
    // Forgets every claim: a new job begins.
    void clear();

private:
    mutable QMutex mutex;
    QHash<QString, QString> owners; // the path as the file system resolves it -> its source
    QHash<QString, QStringList> clashes; // source -> the sources that held its paths
};
