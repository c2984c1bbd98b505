#pragma once

#include "job/ThumbJob.h"

#include <QSet>
#include <QStringList>

// The file suffixes (lower case, without the dot) of each file family, in the order of the
// window's file-type list: what a family's producer takes and what a job asks for.
namespace FileFamilies {

QStringList suffixes(qint32 family);
QSet<QString> suffixSet(qint32 family);

} // namespace FileFamilies
