// pdftopng -f FIRST -l LAST PDF ROOT
//
// Renders pages FIRST..LAST of PDF into ROOT-NNNNNN.png, one file per page, numbered as in
// the PDF; FIRST below 1 counts as 1 and pages past the end are skipped. The work is shared
// among worker threads, each with a document of its own, because a Poppler document must not
// be used by two threads at once. A short range is cut into horizontal bands, so that every
// core gets the same share of the work.

#include <poppler-qt5.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <png.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numeric>
#include <optional>
#include <thread>
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

void setRenderHints(Poppler::Document& document)
{
    document.setRenderHint(Poppler::Document::Antialiasing);
    document.setRenderHint(Poppler::Document::TextAntialiasing);
    document.setPaperColor(Qt::white);
}

Document openDocument(const QString& path)
{
    Document document(Poppler::Document::load(path));
    if (document)
        setRenderHints(*document);
    return document;
}

// Poppler sets up state shared by all documents (colour management) on the first page any
// thread renders, without a lock. Rendering an empty page on this thread before the workers
// start keeps them from racing to set it up.
void setUpSharedRenderingState()
{
    const char* const objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] >>",
    };
    QByteArray pdf = "%PDF-1.4\n";
    std::vector<int> offsets;
    for (const char* object : objects) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(int(offsets.size())) + " 0 obj\n" + object + "\nendobj\n";
    }
    const int xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (int offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";

    const Document document(Poppler::Document::loadFromData(pdf));
    if (!document)
        return;
    setRenderHints(*document);
    const std::unique_ptr<Poppler::Page> page(document->page(0));
    if (page)
        page->renderToImage();
}

// Pixel size of a page and the resolution that gives it.
struct Geometry
{
    double dpi;
    int width;
    int height;
};

Geometry geometryOf(const Poppler::Page& page)
{
    const QSizeF points = page.pageSizeF(); // turned as the page is shown
    const double width = points.width();
    const double height = points.height();
    const double scale = std::min({kDpi / 72, std::sqrt(kMaxPixels / (width * height)),
                                   kMaxSide / std::max(width, height)});
    if (scale >= kDpi / 72) // rounded as Poppler rounds a whole page
        return {kDpi, std::max(1, int(width * scale + 0.5)), std::max(1, int(height * scale + 0.5))};
    // Sides rounded down, but at least one pixel, keep the image inside the limits.
    return {72 * scale, std::max(1, int(width * scale)), std::max(1, int(height * scale))};
}

// 8-bit RGB rows of the bands, top to bottom, from 32-bit images; false when libpng fails.
bool encodePng(const std::vector<QImage>& bands, int width, int height, FILE* out)
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
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
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
    for (const QImage& band : bands) {
        for (int y = 0; y < band.height(); ++y)
            png_write_row(png, band.constScanLine(y));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

QString pageFileName(const QString& root, int number)
{
    return root + QLatin1Char('-') + QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'))
        + QLatin1String(".png");
}

// Writes under a temporary name first, so that nobody ever sees a half-written page image.
bool writePng(const std::vector<QImage>& bands, const Geometry& size, const QString& path)
{
    const QString partial = path + QLatin1String(".part");
    const QByteArray partialName = QFile::encodeName(partial);
    FILE* out = std::fopen(partialName.constData(), "wb");
    const bool written = out && encodePng(bands, size.width, size.height, out);
    const bool closed = out && std::fclose(out) == 0;
    if (!written || !closed) {
        report(QStringLiteral("cannot write %1").arg(partial));
        std::remove(partialName.constData());
        return false;
    }
    // rename(2) replaces an older image of the same name in one step.
    if (std::rename(partialName.constData(), QFile::encodeName(path).constData()) != 0) {
        report(QStringLiteral("cannot rename %1 to %2").arg(partial, path));
        std::remove(partialName.constData());
        return false;
    }
    return true;
}

// One page of the range: its bands, filled by whichever workers render them; the worker
// that completes the last band writes the image.
struct PageJob
{
    int number = 0;
    Geometry size{kDpi, 1, 1};
    std::vector<QImage> bands;
    std::atomic<int> remaining{0};
    std::atomic<bool> failed{false};
};

// Bands per page that share the pages evenly among the workers, so that none waits idle at
// the end: three pages on two cores make six half pages. Each band interprets the whole page
// again, so a range long enough to keep every worker busy is rendered in whole pages.
int bandsPerPage(int pages, int workers)
{
    if (pages >= 2 * workers)
        return 1;
    return workers / std::gcd(pages, workers);
}

class Renderer
{
public:
    // Measures the pages in document before any worker starts.
    Renderer(Poppler::Document& document, const Options& options, int last, int workers)
        : root(options.root)
        , pages(std::size_t(last - options.first + 1))
        , bandCount(bandsPerPage(int(pages.size()), workers))
    {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            PageJob& job = pages[i];
            job.number = options.first + int(i);
            const std::unique_ptr<Poppler::Page> page(document.page(job.number - 1));
            if (page)
                job.size = geometryOf(*page);
            else
                job.failed = true;
            job.bands.resize(std::size_t(bandCount));
            job.remaining = bandCount;
        }
        taskCount = int(pages.size()) * bandCount;
    }

    int tasks() const { return taskCount; }

    // Takes tasks until none is left.
    void work(Poppler::Document& document)
    {
        for (int task = nextTask++; task < taskCount; task = nextTask++) {
            PageJob& job = pages[std::size_t(task / bandCount)];
            const int band = task % bandCount;
            renderBand(document, job, band);
            if (--job.remaining == 0 && !finish(job))
                failed = true;
        }
    }

    bool anyFailed() const { return failed; }

private:
    void renderBand(Poppler::Document& document, PageJob& job, int band)
    {
        if (job.failed)
            return;
        const std::unique_ptr<Poppler::Page> page(document.page(job.number - 1));
        if (!page) {
            job.failed = true;
            return;
        }
        const Geometry& size = job.size;
        const int top = int(std::int64_t(size.height) * band / bandCount);
        const int bottom = int(std::int64_t(size.height) * (band + 1) / bandCount);
        if (bottom <= top)
            return; // a page fewer pixels high than there are bands
        const QImage image =
            page->renderToImage(size.dpi, size.dpi, 0, top, size.width, bottom - top);
        if (image.isNull() || image.width() != size.width || image.height() != bottom - top)
            job.failed = true;
        else
            job.bands[std::size_t(band)] = image.convertToFormat(QImage::Format_RGB32);
    }

    bool finish(PageJob& job) const
    {
        const bool written = !job.failed && writePng(job.bands, job.size, pageFileName(root, job.number));
        if (job.failed)
            report(QStringLiteral("cannot render page %1").arg(job.number));
        job.bands.clear(); // frees the page's pixels at once
        return written;
    }

    const QString root;
    std::vector<PageJob> pages;
    const int bandCount;
    int taskCount = 0;
    std::atomic<int> nextTask{0};
    std::atomic<bool> failed{false};
};

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QFile::decodeName(argv[i]);
    const std::optional<Options> options = parseArguments(args);
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

    const int last = std::min(options->last, primary->numPages());
    if (last < options->first)
        return 0;

    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    Renderer renderer(*primary, *options, last, cores);
    // Documents are made and destroyed on this thread only: Poppler's global state is
    // set up and torn down with them.
    const int workers = std::min(cores, renderer.tasks());
    while (int(documents.size()) < workers) {
        Document document = openDocument(options->pdf);
        if (!document)
            break;
        documents.push_back(std::move(document));
    }

    std::vector<std::thread> threads;
    if (documents.size() > 1)
        setUpSharedRenderingState();
    for (std::size_t i = 1; i < documents.size(); ++i)
        threads.emplace_back([&renderer, &documents, i] { renderer.work(*documents[i]); });
    renderer.work(*primary);
    for (std::thread& thread : threads)
        thread.join();

    return renderer.anyFailed() ? 1 : 0;
}
