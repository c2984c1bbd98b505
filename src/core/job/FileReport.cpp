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
    case NotReadable:
        return tr("the file cannot be read");
    case Damaged:
        return tr("damaged, or not a file of its kind");
    case PasswordProtected:
        return tr("protected by a password");
    case TooLarge:
        return tr("too large to decode");
    case NoPagesInRange:
        return tr("no page in the chosen range");
    case TimedOut:
        return tr("took too long and was stopped");
    case OfficeUnavailable:
        return tr("LibreOffice could not be started");
    case OfficeCannotOpen:
        return tr("LibreOffice could not open it (damaged or protected by a password)");
    case OfficeCannotConvert:
        return tr("LibreOffice could not convert it");
    case CannotWrite:
        return tr("the thumbnail could not be written");
    case RendererUnavailable:
        return tr("the PDF renderer pdftopng could not be started");
    case RenderFailed:
        return tr("its pages could not be rendered");
    case WorkAreaFailed:
        return tr("its intermediate files could not be written");
    }
    return tr("no thumbnail could be made");
}

QString FileReport::describeClash(const QString& source, const QString& other)
{
    return tr("the thumbnails of %1 would have replaced those of %2: they got -2, -3, ... "
              "before the extension")
        .arg(source, other);
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
