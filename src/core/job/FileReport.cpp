#include "job/FileReport.h"

QString FileReport::describe(Failure failure)
{
    switch (failure) {
    case None:
        return QString();
    case NotSupported:
        return tr("not a supported file type");
    case Unknown:
        break;
    case NotFound:
        return tr("no such file");
    case NotAFile:
        return tr("not a regular file");
    case EmptyFile:
        return tr("the file is empty");
    }
    return tr("no thumbnail could be made");
}

QString FileReport::describe(Skip skip)
{
    switch (skip) {
    case NotSkipped:
        break;
    case UpToDate:
        return tr("up to date");
    case OwnThumbnail:
        return tr("a thumbnail made by Miravel");
    }
    return QString();
}
