#include "producers/Thumbnailer.h"

#include "ChildRun.h"
#include "output/NameClaims.h"
#include "output/NameTemplate.h"
#include "output/OutputFormat.h"
#include "output/ThumbnailWriter.h"
#include "output/WorkArea.h"
#include "producers/StageTimer.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <QVector>

#include <optional>

namespace {

QString quotedCommand(const QString& program, const QStringList& args)
{
    QString line = QLatin1Char('"') + program + QLatin1Char('"');
    for (const QString& arg : args)
        line += QLatin1Char(' ') + arg;
    return line;
}

// Why pdftopng made no page image, by the exit status it documents.
FileReport::Failure pdf2PngFailure(int exitCode)
{
    switch (exitCode) {
    case 0:
        return FileReport::None;
    case 3:
        return FileReport::NotReadable;
    case 4:
        return FileReport::Damaged;
    case 5:
        return FileReport::PasswordProtected;
    case 6:
        return FileReport::WorkAreaFailed;
    default: // 1, or a crash
        return FileReport::RenderFailed;
    }
}

} // namespace

Thumbnailer::Thumbnailer()
    : pngRoot(QStringLiteral("out"))
{
}

Thumbnailer::~Thumbnailer() = default;

FileReport::Failure Thumbnailer::takeFailure()
{
    return failure.exchange(FileReport::None);
}

void Thumbnailer::fail(FileReport::Failure reason)
{
    FileReport::Failure none = FileReport::None;
    failure.compare_exchange_strong(none, reason);
}

void Thumbnailer::setNameClaims(NameClaims* claims)
{
    nameClaims = claims;
}

QString Thumbnailer::claimThumbnailPath(const QString& folder, const QFile& source, qint32 page)
{
    const QString path = thumbnailPath(folder, source, page);
    return nameClaims ? nameClaims->claim(path, source.fileName()) : path;
}

void Thumbnailer::setSettings(ThumbSettings s)
{
    settings = s;
}

void Thumbnailer::setPdf2PngPath(const QString& path)
{
    pdf2PngPath = path;
}

void Thumbnailer::setChildTimeoutMs(int ms)
{
    childTimeoutMs = ms;
}

bool Thumbnailer::saveThumbnail(const QString& source, const QString& target,
                                ThumbSettings::tOutFormat format)
{
    return saveThumbnail(source, target, format, ThumbnailStamp::of(source).shaped(settings, 1));
}

bool Thumbnailer::saveThumbnail(const QString& source, const QString& target,
                                ThumbSettings::tOutFormat format, const ThumbnailStamp& stamp)
{
    const ThumbnailWriter writer(QSize(settings.width, settings.height), settings.keepAspectRatio);
    std::optional<StageTimer> reading(std::in_place, "read", source);
    FileReport::Failure unread = FileReport::None;
    const QImage thumbnail = writer.load(source, unread);
    reading.reset();
    if (thumbnail.isNull()) {
        qDebug() << " [ERROR] "
                 << "Thumbnailer::saveThumbnail"
                 << " img.isNull()  " << source;
        fail(unread);
    } else if (writer.save(thumbnail, target, format, stamp)) {
        return true;
    } else {
        fail(FileReport::CannotWrite);
    }
    qDebug() << " [ERROR] "
             << "Thumbnailer::saveThumbnail"
             << " saveImage " << target;
    return false;
}

QString Thumbnailer::expandTemplate(const QString& nameTemplate, const QFile& file, qint32 page)
{
    return NameTemplate::expand(nameTemplate, file, page);
}

QString Thumbnailer::expandToken(const QString& token, const QFile& file, qint32 page)
{
    return NameTemplate::expandToken(token, file, page);
}

QString Thumbnailer::extensionFor(ThumbSettings::tOutFormat format)
{
    return OutputFormat::of(format).extension;
}

QString Thumbnailer::thumbnailPath(const QFile& source, qint32 page) const
{
    return thumbnailPath(settings.outputFolderFor(source), source, page);
}

QString Thumbnailer::thumbnailPath(const QString& folder, const QFile& source, qint32 page) const
{
    return thumbnailPath(settings, folder, source, page);
}

QString Thumbnailer::thumbnailPath(const ThumbSettings& settings, const QString& folder,
                                   const QFile& source, qint32 page)
{
    return folder + expandTemplate(settings.nameFormat, source, page) + QLatin1Char('.')
        + extensionFor(settings.outputFormat);
}

Thumbnailer::tThumbnailPages Thumbnailer::runPdfToPng(QFile& pdf, const QString& outputFolder,
                                                      QFile& namingSource, qint32 pageOffset)
{
    tThumbnailPages filesPage;
    const QString firstPage = QString::number(settings.pageStart - pageOffset);
    const QString lastPage = QString::number(settings.pageEnd - pageOffset);
    const QString outputRoot = workArea() + pngRoot;
    const QString pdfPath = QDir::toNativeSeparators(pdf.fileName());
    QFile& source = namingSource.exists() ? namingSource : pdf;
    // What the thumbnails record of their source, taken once before the pages are rendered.
    const ThumbnailStamp sourceStamp = ThumbnailStamp::of(source.fileName());

    {
        const StageTimer stage("clear", pdf.fileName());
        removeWorkingFiles(QStringLiteral("*.png"));
    }
    bool rendered = false;
    {
        const StageTimer stage("render", pdf.fileName());
        rendered = executePdf2Png(firstPage, lastPage, pdfPath, outputRoot);
    }
    if (rendered) {
        const StageTimer stage("save", pdf.fileName());
        const tThumbnailPages tempPages = collectPages(workArea());
        if (tempPages.isEmpty()) {
            qDebug() << " [ERROR] "
                     << "Thumbnailer::runPdfToPng"
                     << "  tempPages.count() == 0  " << pdf.fileName();
            // Unless pdftopng told otherwise: the range lies past the document's end.
            fail(FileReport::NoPagesInRange);
        }
        const QString folder =
            outputFolder.isEmpty() ? settings.outputFolderFor(pdf) : outputFolder;
        struct PageThumbnail
        {
            qint32 page;
            QString image;
            QString path;
            ThumbnailStamp stamp;
            bool saved;
        };
        QVector<PageThumbnail> thumbnails;
        QSet<QString> paths;
        for (auto it = tempPages.cbegin(); it != tempPages.cend(); ++it) {
            const qint32 page = it.key() + pageOffset;
            const QString path = claimThumbnailPath(folder, source, page);
            thumbnails.append({page, it.value(), path, sourceStamp.shaped(settings, page), false});
            paths.insert(path);
        }
        const auto save = [this](PageThumbnail& t) {
            t.saved = saveThumbnail(t.image, t.path, settings.outputFormat, t.stamp);
        };
        if (paths.size() == thumbnails.size() && thumbnails.size() > 1) {
            // Distinct pages are independent: decode and scale them on every core.
            QThreadPool pool;
            for (PageThumbnail& t : thumbnails)
                pool.start(QRunnable::create([&save, &t] { save(t); }));
            pool.waitForDone();
        } else {
            // Pages sharing one name overwrite each other in page order.
            for (PageThumbnail& t : thumbnails)
                save(t);
        }
        for (const PageThumbnail& t : qAsConst(thumbnails)) {
            if (t.saved)
                filesPage.insert(t.page, t.path);
        }
    }
    if (filesPage.isEmpty())
        qDebug() << " [ERROR] "
                 << "Thumbnailer::runPdfToPng"
                 << "  filesPage.count() == 0";
    return filesPage;
}

int Thumbnailer::pdf2PngTimeoutMs(int pageCount)
{
    // Generous for slow machines: a floor for start-up plus a few seconds a page.
    return 30000 + 5000 * qMax(0, pageCount);
}

bool Thumbnailer::executePdf2Png(QString firstPage, QString lastPage, const QString& pdfPath,
                                 const QString& outputRoot)
{
    const QStringList args = {
        QStringLiteral("-f"), firstPage, QStringLiteral("-l"), lastPage, pdfPath, outputRoot};
    const int pages = lastPage.toInt() - firstPage.toInt() + 1;
    const int timeout = childTimeoutMs > 0 ? childTimeoutMs : pdf2PngTimeoutMs(pages);
    // The box that saveThumbnail scales to: pdftopng renders the pages at the size it needs.
    QProcessEnvironment box;
    box.insert(
        QStringLiteral("PDFTOPNG_BOX"),
        QStringLiteral("%1x%2,%3")
            .arg(settings.width)
            .arg(settings.height)
            .arg(settings.keepAspectRatio ? QLatin1String("keep") : QLatin1String("stretch")));
    const ChildRun::Result run = ChildRun::run(pdf2PngPath, args, timeout, box);
    if (!run.started) {
        qDebug() << " [ERROR] "
                 << "Thumbnailer::executePdf2Png"
                 << " CreateProcess  "
                 << "agr = " << quotedCommand(pdf2PngPath, args);
        fail(FileReport::RendererUnavailable);
        return false;
    }
    if (run.timedOut) {
        qDebug() << " [ERROR] "
                 << "Thumbnailer::executePdf2Png"
                 << " time-out, killed  " << quotedCommand(pdf2PngPath, args);
        fail(FileReport::TimedOut);
        return false;
    }
    // What the tool says goes to the error log, not to the user's terminal.
    for (const QByteArray& line : run.errorOutput.split('\n')) {
        if (!line.isEmpty())
            qDebug().noquote() << QString::fromLocal8Bit(line);
    }
    const FileReport::Failure reason = pdf2PngFailure(run.exitCode);
    if (reason != FileReport::None)
        fail(reason);
    return true;
}

QString Thumbnailer::workingFolder()
{
    return WorkArea::workingFolder();
}

QString Thumbnailer::workArea()
{
    return WorkArea::path();
}

void Thumbnailer::removeWorkingFiles(const QString& pattern)
{
    QDir area(workArea());
    const QStringList files = area.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : files)
        area.remove(name);
}

Thumbnailer::tThumbnailPages Thumbnailer::collectPages(const QString& folder)
{
    tThumbnailPages pages;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files);
    for (const QFileInfo& file : files) {
        const qint32 page = file.baseName().mid(pngRoot.size() + 1).toInt();
        pages.insert(page, file.absoluteFilePath());
    }
    return pages;
}
