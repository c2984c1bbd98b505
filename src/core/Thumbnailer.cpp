#include "Thumbnailer.h"

#include "GroupProcess.h"
#include "Names.h"
#include "StageTimer.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <QVector>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

const QString DatePattern = QStringLiteral("ddd_MMMM_d_yyyy");
const QString TimePattern = QStringLiteral("hh_mm");

// Pictures that would decode to more pixels than this are refused.
constexpr qint64 MaxDecodedPixels = 256LL * 1000 * 1000;

// PNG is lossless, so its compression only trades bytes for time. Qt maps 0-100 onto zlib's
// levels 0-9; this is level 1, the fastest that compresses: a photo's thumbnail comes out
// a sixth larger and is encoded three times as fast as at Qt's default.
constexpr int FastPngCompression = 11;

QString sizeText(quint64 size)
{
    const QLocale locale;
    constexpr quint64 KB = 1024, MB = KB * 1024, GB = MB * 1024, TB = GB * 1024;
    if (size >= TB)
        return QStringLiteral("%1 TB").arg(locale.toString(double(size) / TB, 'f', 3));
    if (size >= GB)
        return QStringLiteral("%1 GB").arg(locale.toString(double(size) / GB, 'f', 2));
    if (size >= MB)
        return QStringLiteral("%1 MB").arg(locale.toString(double(size) / MB, 'f', 1));
    if (size >= KB)
        return QStringLiteral("%1 KB").arg(locale.toString(size / KB));
    return QStringLiteral("%1 byte(s)").arg(locale.toString(size));
}

QString dateText(const QDateTime& when)
{
    return QLocale().toString(when.date(), DatePattern);
}

QString timeText(const QDateTime& when)
{
    return QLocale().toString(when.time(), TimePattern);
}

QString commandLine(const QString& program, const QStringList& args)
{
    QString line = QLatin1Char('"') + program + QLatin1Char('"');
    for (const QString& arg : args)
        line += QLatin1Char(' ') + arg;
    return line;
}

// This process's own folder inside the working folder; removed when the process ends.
// Areas left behind by processes that no longer run are cleared on first use.
class WorkArea
{
public:
    WorkArea()
    {
        const QString root = Thumbnailer::workingFolder();
        const QString prefix = QStringLiteral("run-");
        const QFileInfoList areas = QDir(root).entryInfoList(
            {prefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QFileInfo& area : areas) {
            bool ok = false;
            const pid_t pid = area.fileName().mid(prefix.size()).toInt(&ok);
            if (ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
                QDir(area.absoluteFilePath()).removeRecursively();
        }
        path = root + prefix + QString::number(::getpid());
        QDir().mkpath(path);
        path = QDir::toNativeSeparators(path) + QDir::separator();
    }
    ~WorkArea() { QDir(path).removeRecursively(); }

    QString path;
};

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
    QString result;
    int i = 0;
    const int n = nameTemplate.size();
    while (i < n) {
        const QChar c = nameTemplate.at(i);
        if (c != QLatin1Char('[')) {
            result += c;
            ++i;
            continue;
        }
        const int close = nameTemplate.indexOf(QLatin1Char(']'), i + 1);
        if (close < 0) {
            result += expandToken(nameTemplate.mid(i + 1), file, page);
            break;
        }
        result += expandToken(nameTemplate.mid(i + 1, close - i - 1), file, page);
        i = close + 1;
    }
    return result;
}

QString Thumbnailer::expandToken(const QString& token, const QFile& file, qint32 page)
{
    const QString word = token.toUpper();
    const QFileInfo info(file);
    using namespace Names::Token;
    if (word == Date)
        return dateText(QDateTime::currentDateTime());
    if (word == Name)
        return info.completeBaseName();
    if (word == Page)
        return QString::number(page);
    if (word == Time)
        return timeText(QDateTime::currentDateTime());
    if (word == CreatedTime)
        return timeText(info.birthTime());
    if (word == CreatedDate)
        return dateText(info.birthTime());
    if (word == ModifiedTime)
        return timeText(info.lastModified());
    if (word == ModifiedDate)
        return dateText(info.lastModified());
    if (word == Folder)
        return QFileInfo(info.absolutePath()).baseName();
    if (word == FileSize)
        return sizeText(quint64(info.size()));
    return QString();
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
    bool rendered = false;
    {
        const StageTimer stage("render", pdf.fileName());
        rendered = executePdf2Png(firstPage, lastPage, pdfPath, outputRoot);
    }
    if (rendered) {
        const StageTimer stage("save", pdf.fileName());
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
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
    QDir dir(folder);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return QDir::toNativeSeparators(folder) + QDir::separator();
}

QString Thumbnailer::workArea()
{
    static const WorkArea area;
    return area.path;
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
