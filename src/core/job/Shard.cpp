#include "job/Shard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtEndian>

bool Shard::holds(const QString& key) const
{
    // MD5, not qHash: the same on every machine and every run, whatever Qt's seed.
    const QByteArray digest = QCryptographicHash::hash(
        QDir::fromNativeSeparators(QDir::cleanPath(key)).toUtf8(), QCryptographicHash::Md5);
    const quint64 hash = qFromBigEndian<quint64>(digest.constData());
    return hash % quint64(count) == quint64(index - 1);
}
