#include "Thumbnailer.h"

#include "GroupProcess.h"
#include "NameTemplate.h"
#include "WorkArea.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QThreadPool>
#include <QVector>

namespace {

// Pictures that would decode to more pixels than this are refused.
constexpr qint64 MaxDecodedPixels = 256LL * 1000 * 1000;

// PNG is lossless, so its compression only trades bytes for time. Qt maps 0-100 onto zlib's
// levels 0-9; this is level 1, the fastest that compresses: a photo's thumbnail comes out
// a sixth larger and is encoded three times as fast as at Qt's default.
constexpr int FastPngCompression = 11;

QString commandLine(const QString& program, const QStringList& args)
{
    QString line = QLatin1Char('"') + program + QLatin1Char('"');
    for (const QString& arg : args)
        line += QLatin1Char(' ') + arg;
    return line;
}

} // namespace

Thumbnailer::Thumbnailer()
    : pngRoot(QStringLiteral("out"))
{
}

Thumbnailer::~Thumbnailer() = default;

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
    QImageReader reader(source);
    // By content: a .dib file is a BMP with its file header, not a bare DIB.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QImage img;

    const QSize stored = reader.size();
    const QSize box(settings.width, settings.height);
    const Qt::AspectRatioMode mode =
        settings.keepAspectRatio ? Qt::KeepAspectRatioByExpanding : Qt::IgnoreAspectRatio;
    qint64 decodedPixels = stored.isValid() ? qint64(stored.width()) * stored.height() : 0;
    QSize final;
    if (!stored.isEmpty() && !box.isEmpty()) {
        // The final size comes from the upright image's full size, whatever is decoded.
        const bool turned =
            reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
        const QSize upright = turned ? stored.transposed() : stored;
        final = upright.scaled(box, mode);
        // JPEG decodes at a reduced size (down to 1/8) straight away; the reader takes
        // the size in stored orientation. Other readers would decode in full first.
        if (reader.format() == "jpeg" && final.width() <= upright.width()
            && final.height() <= upright.height()) {
            reader.setScaledSize(turned ? final.transposed() : final);
            decodedPixels = qMax(qint64(final.width()) * final.height(),
                                 qint64(stored.width() / 8) * (stored.height() / 8));
        }
    }
    const bool affordable = decodedPixels <= MaxDecodedPixels
        && qint64(final.width()) * final.height() <= MaxDecodedPixels;
    if (affordable && !reader.read(&img))
        img = QImage();

    if (img.isNull()) {
        qDebug() << " [ERROR] " << "Thumbnailer::saveThumbnail" << " img.isNull()  " << source;
    } else {
        if (!final.isValid())
            final = img.size().scaled(box, mode);
        const QImage scaled = img.size() == final
            ? img
            : img.scaled(final, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const bool png = format != ThumbSettings::OutBmp && format != ThumbSettings::OutJpeg;
        const char* formatName = format == ThumbSettings::OutBmp ? "BMP"
            : format == ThumbSettings::OutJpeg                  ? "JPG"
                                                                 : "PNG";
        // QSaveFile: a failed write never leaves a truncated thumbnail behind.
        QSaveFile file(target);
        if (file.open(QIODevice::WriteOnly)) {
            QImageWriter writer(&file, formatName);
            writer.setQuality(-1);
            if (png)
                writer.setCompression(FastPngCompression);
            if (writer.write(scaled) && file.commit())
                return true;
        }
    }
    qDebug() << " [ERROR] " << "Thumbnailer::saveThumbnail" << " saveImage " << target;
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
    switch (format) {
    case ThumbSettings::OutBmp:
        return QStringLiteral("bmp");
    case ThumbSettings::OutJpeg:
        return QStringLiteral("jpg");
    default:
        return QStringLiteral("png");
    }
}

QString Thumbnailer::thumbnailPath(const QFile& source, qint32 page) const
{
    return thumbnailPath(settings.outputFolderFor(source), source, page);
}

QString Thumbnailer::thumbnailPath(const QString& folder, const QFile& source, qint32 page) const
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

    removeWorkingFiles(QStringLiteral("*.png"));
    if (executePdf2Png(firstPage, lastPage, pdfPath, outputRoot)) {
        const tThumbnailPages tempPages = collectPages(workArea());
        if (tempPages.isEmpty()) {
            qDebug() << " [ERROR] " << "Thumbnailer::runPdfToPng" << "  tempPages.count() == 0  "
                     << pdf.fileName();
        }
        QFile& source = namingSource.exists() ? namingSource : pdf;
        const QString folder = outputFolder.isEmpty() ? settings.outputFolderFor(pdf) : outputFolder;
        struct PageThumbnail
        {
            qint32 page;
            QString image;
            QString path;
            bool saved;
        };
        QVector<PageThumbnail> thumbnails;
        QSet<QString> paths;
        for (auto it = tempPages.cbegin(); it != tempPages.cend(); ++it) {
            const qint32 page = it.key() + pageOffset;
            const QString path = thumbnailPath(folder, source, page);
            thumbnails.append({page, it.value(), path, false});
            paths.insert(path);
        }
        const auto save = [this](PageThumbnail& t) {
            t.saved = saveThumbnail(t.image, t.path, settings.outputFormat);
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
        qDebug() << " [ERROR] " << "Thumbnailer::runPdfToPng" << "  filesPage.count() == 0";
    return filesPage;
}

bool Thumbnailer::hasPagesToExport(int pageCount) const
{
    return settings.pageStart <= settings.pageEnd
        && (pageCount < 0 || settings.pageStart <= pageCount);
}

int Thumbnailer::pdf2PngTimeoutMs(int pageCount)
{
    // Generous for slow machines: a floor for start-up plus a few seconds a page.
    return 30000 + 5000 * qMax(0, pageCount);
}

bool Thumbnailer::executePdf2Png(QString firstPage, QString lastPage, const QString& pdfPath,
                                 const QString& outputRoot)
{
    const QStringList args = {QStringLiteral("-f"), firstPage, QStringLiteral("-l"), lastPage,
                              pdfPath, outputRoot};
    const int pages = lastPage.toInt() - firstPage.toInt() + 1;
    const int timeout = childTimeoutMs > 0 ? childTimeoutMs : pdf2PngTimeoutMs(pages);
    const GroupProcess::Result run = GroupProcess::run(pdf2PngPath, args, timeout);
    if (!run.started) {
        qDebug() << " [ERROR] " << "Thumbnailer::executePdf2Png" << " CreateProcess  " << "agr = "
                 << commandLine(pdf2PngPath, args);
        return false;
    }
    if (run.timedOut) {
        qDebug() << " [ERROR] " << "Thumbnailer::executePdf2Png" << " time-out, killed  "
                 << commandLine(pdf2PngPath, args);
        return false;
    }
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
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files);
    for (const QFileInfo& file : files) {
        const qint32 page = file.baseName().mid(pngRoot.size() + 1).toInt();
        pages.insert(page, file.absoluteFilePath());
    }
    return pages;
}
