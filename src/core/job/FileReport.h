#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QMetaType>
#include <QString>

// What became of one source file of a job: the thumbnails made of it by page, or why there
// are none.
struct FileReport
{
    Q_DECLARE_TR_FUNCTIONS(FileReport)

public:
    // Why a file gave no thumbnail, told by whoever found it: the engine or the producer.
    enum Failure {
        None, // thumbnails were made
        NotSupported, // no producer takes files of its suffix
        Unknown, // the producer made nothing and told no reason
        NotFound, // the path names nothing (any more)
        NotAFile, // no regular file: a FIFO, a device, a socket
        EmptyFile // a document of zero bytes
    };

    // A few words a user understands; empty for None.
    static QString describe(Failure failure);

    QString source; // as the job reached it, in native separators
    QMap<qint32, QString> pages; // page number (as in the source) to thumbnail path
    Failure failure = None;

    // Why a source was passed over instead of being made: nothing about it failed.
    enum Skip {
        NotSkipped,
        UpToDate, // its thumbnails were made from it as it is now, with the job's settings
        OwnThumbnail // it is itself a thumbnail Miravel made
    };
    static QString describe(Skip skip);

    Skip skipped = NotSkipped; // with UpToDate, pages holds the thumbnails found
};

Q_DECLARE_METATYPE(FileReport)
