#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>

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
        EmptyFile, // a document of zero bytes
        NotReadable, // the system refuses to read it
        Damaged, // damaged, or not a file of the kind its suffix says
        PasswordProtected,
        TooLarge, // decoding it would take more memory than a picture may
        NoPagesInRange, // the document has no page in the chosen range
        TimedOut, // its renderer ran past its time limit and was ended
        OfficeUnavailable, // the office could not be started or reached
        OfficeCannotOpen, // the office opened no document: damaged or locked by a password
        OfficeCannotConvert, // the office failed to export its pages
        CannotWrite, // the thumbnail file could not be written
        RendererUnavailable, // pdftopng could not be started
        RenderFailed, // pdftopng could not render its pages
        WorkAreaFailed // its intermediate files could not be written
    };

    // A few words a user understands; empty for None.
    static QString describe(Failure failure);
    // Tells that `source`'s thumbnails were named apart from those `other` had already got.
    static QString describeClash(const QString& source, const QString& other);

    QString source; // as the job reached it, in native separators
    QMap<qint32, QString> pages; // page number (as in the source) to thumbnail path
    Failure failure = None;
    // Sources of the job that had already got the names this file's thumbnails would have
    // had; its own thumbnails were named apart.
    QStringList nameClashes;

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
