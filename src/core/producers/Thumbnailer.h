#pragma once

#include "job/FileReport.h"
#include "job/ThumbSettings.h"
#include "output/ThumbnailStamp.h"

#include <QFile>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

// Abstract producer: turns one source file into thumbnails. Holds what every producer
// shares: settings, the pdftopng location, output naming, PDF rendering and saving.
class Thumbnailer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Thumbnailer)

public:
    // Page number (1-based, as in the source) to thumbnail path.
    typedef QMap<qint32, QString> tThumbnailPages;

    Thumbnailer();
    ~Thumbnailer() override;

    virtual const QSet<QString>& supportedExtensions() const = 0;
    virtual tThumbnailPages generate(QFile& file) = 0;
    // Called on the worker thread when it ends, so that objects a producer created there
    // are destroyed there too.
    virtual void releaseWorkerResources() {}
    // Called from another thread while generate() may run, when the engine quits: ends at
    // once what the producer waits on, so that generate() returns soon. Thread-safe.
    virtual void abort() {}
    // Called on the worker thread when a job that may hold files of this producer begins,
    // before they are gathered: what is slow to start may start in the background.
    virtual void jobStarting() {}

    // Why the last generate() made nothing, as the producer found it; Unknown when it told
    // nothing. Read by the engine on the worker thread right after generate().
    FileReport::Failure takeFailure();

    void setSettings(ThumbSettings s);
    void setPdf2PngPath(const QString& path);

    // Loads `source`, scales it to the settings' box and writes it to `target`, which
    // records that it was made from `source`.
    bool saveThumbnail(const QString& source, const QString& target,
                       ThumbSettings::tOutFormat format);
    // The same for an intermediate image (a rendered page): `stamp` names the real source.
    bool saveThumbnail(const QString& source, const QString& target,
                       ThumbSettings::tOutFormat format, const ThumbnailStamp& stamp);

    static QString expandTemplate(const QString& nameTemplate, const QFile& file, qint32 page);
    static QString expandToken(const QString& token, const QFile& file, qint32 page);
    static QString extensionFor(ThumbSettings::tOutFormat format);
    // Output folder, expanded template and extension, joined as plain strings.
    QString thumbnailPath(const QFile& source, qint32 page) const;
    // The same with the folder given.
    QString thumbnailPath(const QString& folder, const QFile& source, qint32 page) const;
    // The same for any settings: how every producer names its thumbnails.
    static QString thumbnailPath(const ThumbSettings& settings, const QString& folder,
                                 const QFile& source, qint32 page);

    // Rasterises settings.pageStart..pageEnd of `pdf` with pdftopng and saves the pages.
    // A PDF that holds only part of its source (an exported page range) passes the number
    // of source pages before its first page as pageOffset, so keys and names stay the
    // source's page numbers.
    tThumbnailPages runPdfToPng(QFile& pdf, const QString& outputFolder, QFile& namingSource,
                                qint32 pageOffset = 0);
    bool executePdf2Png(QString firstPage, QString lastPage, const QString& pdfPath,
                        const QString& outputRoot);
    // The per-user data folder, ending with the native separator; created when missing.
    static QString workingFolder();
    // This process's own area inside the working folder, where intermediate files go.
    static QString workArea();
    void removeWorkingFiles(const QString& pattern);
    tThumbnailPages collectPages(const QString& folder);

    // Upper bound for one pdftopng run, from the number of pages asked for.
    static int pdf2PngTimeoutMs(int pageCount);
    // Replaces that bound by a fixed one (0 restores it).
    void setChildTimeoutMs(int ms);

protected:
    // Records why the file in hand gives no thumbnail; the first reason found stands.
    void fail(FileReport::Failure reason);

    ThumbSettings settings;
    QString pdf2PngPath;
    QString pngRoot;

private:
    int childTimeoutMs = 0;
    FileReport::Failure failure = FileReport::None;
};
