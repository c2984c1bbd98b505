// pdftopng -f FIRST -l LAST PDF ROOT
//
// Renders pages FIRST..LAST of PDF into ROOT-NNNNNN.png, one file per page, numbered as in
// the PDF; FIRST below 1 counts as 1 and pages past the end are skipped. Pages are shared
// among worker threads, each with a document of its own, because a Poppler document must not
// be used by two threads at once.

#include <poppler-qt5.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QThread>

#include <png.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr double kDpi = 150.0;
// A page whose rendering would be larger is rendered at a lower resolution instead, so that
// a huge MediaBox cannot make a worker allocate gigabytes.
constexpr double kMaxPixels = 50e6;
// Keeps a degenerate page (a MediaBox of a mile by an inch) inside the budget too.
constexpr double kMaxSide = 32767;
// Page images are intermediate files, read once right away: unfiltered rows and the
// fastest zlib level make writing and reading them cheap.
constexpr int kZlibLevel = 1;

using Document = std::unique_ptr<Poppler::Document>;

struct Options
{
    int first;
    int last;
    QString pdf;
    QString root;
};

void report(const QString& message)
{
    std::fprintf(stderr, "pdftopng: %s\n", qPrintable(message));
}

std::optional<Options> parseArguments(const QStringList& args)
{
    if (args.size() != 7 || args.at(1) != QLatin1String("-f") || args.at(3) != QLatin1String("-l"))
        return std::nullopt;
    bool firstOk = false;
    bool lastOk = false;
    const int first = args.at(2).toInt(&firstOk);
    const int last = args.at(4).toInt(&lastOk);
    if (!firstOk || !lastOk)
        return std::nullopt;
    return Options{qMax(1, first), last, args.at(5), args.at(6)};
}

Document openDocument(const QString& path)
{
    Document document(Poppler::Document::load(path));
    if (document) {
        document->setRenderHint(Poppler::Document::Antialiasing);
        document->setRenderHint(Poppler::Document::TextAntialiasing);
        document->setPaperColor(Qt::white);
    }
    return document;
}

QImage renderPage(Poppler::Page& page)
{
    const QSizeF points = page.pageSizeF();
    const double scale = std::min({kDpi / 72,
                                   std::sqrt(kMaxPixels / (points.width() * points.height())),
                                   kMaxSide / std::max(points.width(), points.height())});
    if (scale >= kDpi / 72)
        return page.renderToImage(kDpi, kDpi);
    // Sides rounded down, but at least one pixel, keep the image inside the limits.
    return page.renderToImage(72 * scale, 72 * scale, 0, 0,
                              std::max(1, int(points.width() * scale)),
                              std::max(1, int(points.height() * scale)));
}

// 8-bit RGB rows straight from a 32-bit image; false when libpng fails.
bool encodePng(const QImage& image, FILE* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // libpng reports errors by longjmp: nothing below may need destruction.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, kZlibLevel);
    png_write_info(png, info);
    // A 32-bit QImage holds each pixel as one native-endian 0xAARRGGBB word.
    if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else {
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
    }
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes under a temporary name first, so that nobody ever sees a half-written page image.
bool writePng(const QImage& rendered, const QString& path)
{
    const QImage image = rendered.convertToFormat(QImage::Format_RGB32);
    const QString partial = path + QLatin1String(".part");
    FILE* out = std::fopen(QFile::encodeName(partial).constData(), "wb");
    const bool written = out && encodePng(image, out);
    const bool closed = out && std::fclose(out) == 0;
    if (!written || !closed) {
        report(QStringLiteral("cannot write %1").arg(partial));
        QFile::remove(partial);
        return false;
    }
    QFile::remove(path); // QFile::rename never replaces a file
    if (!QFile::rename(partial, path)) {
        report(QStringLiteral("cannot rename %1 to %2").arg(partial, path));
        QFile::remove(partial);
        return false;
    }
    return true;
}

QString pageFileName(const QString& root, int number)
{
    return root + QLatin1Char('-') + QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'))
           + QLatin1String(".png");
}

bool renderAndWrite(Poppler::Document& document, int number, const QString& root)
{
    const std::unique_ptr<Poppler::Page> page(document.page(number - 1));
    const QImage image = page ? renderPage(*page) : QImage();
    if (image.isNull()) {
        report(QStringLiteral("cannot render page %1").arg(number));
        return false;
    }
    return writePng(image, pageFileName(root, number));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parseArguments(app.arguments());
    if (!options) {
        std::fprintf(stderr, "usage: pdftopng -f FIRST -l LAST PDF ROOT\n");
        return 2;
    }
    // Poppler's own diagnostics would flood stderr for damaged files; failures are reported
    // here instead.
    Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());

    std::vector<Document> documents;
    documents.push_back(openDocument(options->pdf));
    Poppler::Document* primary = documents.front().get();
    if (!primary) {
        report(QStringLiteral("cannot open %1: not a readable PDF file").arg(options->pdf));
        return 1;
    }
    if (primary->isLocked()) {
        report(QStringLiteral("cannot open %1: the PDF is protected by a password").arg(options->pdf));
        return 1;
    }

    const int last = qMin(options->last, primary->numPages());
    const int pageCount = last - options->first + 1;
    if (pageCount <= 0)
        return 0;

    // Documents are made and destroyed on this thread only: Poppler's global state is
    // set up and torn down with them.
    const int workers = qBound(1, QThread::idealThreadCount(), pageCount);
    while (int(documents.size()) < workers) {
        Document document = openDocument(options->pdf);
        if (!document)
            break;
        documents.push_back(std::move(document));
    }

    std::atomic<int> nextPage(options->first);
    std::atomic<bool> failed(false);
    const auto work = [&](Poppler::Document* document) {
        for (int number = nextPage++; number <= last; number = nextPage++) {
            if (!renderAndWrite(*document, number, options->root))
                failed = true;
        }
    };
    std::vector<std::unique_ptr<QThread>> threads;
    for (size_t i = 1; i < documents.size(); ++i) {
        threads.emplace_back(QThread::create(work, documents[i].get()));
        threads.back()->start();
    }
    work(primary);
    for (const auto& thread : threads)
        thread->wait();

    return failed ? 1 : 0;
}
