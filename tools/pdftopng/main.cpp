// pdftopng -f FIRST -l LAST PDF ROOT
//
// Renders pages FIRST..LAST of PDF into ROOT-NNNNNN.png, one file per page, numbered as in
// the PDF; FIRST below 1 counts as 1 and pages past the end are skipped. The work is shared
// among worker threads, each with a document of its own, because a Poppler document must not
// be used by two threads at once. A short range is cut into horizontal bands, so that every
// core gets the same share of the work.
//
// With PDFTOPNG_BOX=WIDTHxHEIGHT,keep (or ,stretch) in its environment, the box of pixels that
// each page image is scaled to afterwards, its aspect kept (covering the box) or not, a page is
// rendered kSupersampling times the size that covers the box and averaged down to it, so that
// the caller finds its thumbnail's pixels ready; without it, or where that would pass 150 dpi,
// the page is rendered at 150 dpi.
//
// The tool links Poppler's C++ interface and libpng only, no Qt: it is started once per
// file, so what it loads at start-up counts.
//
// Exit status:
//   0  every page of the range that the PDF has was written (none when the range lies
//      past its end)
//   1  a page could not be rendered
//   2  usage error
//   3  the PDF cannot be read (missing, no permission)
//   4  not a PDF, or damaged beyond repair
//   5  the PDF is protected by a password
//   6  a page image could not be written

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <png.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kDpi = 150.0;
// Rendered pixels averaged into one pixel of the box-sized image, along each side: Poppler's
// anti-aliasing is too coarse for a page drawn at thumbnail size directly (small text comes
// out bold, hairlines black). Where that many would pass 150 dpi, fewer do, down to
// kLeastSupersampling; below that the page is rendered at 150 dpi as without a box.
constexpr int kSupersampling = 4;
constexpr int kLeastSupersampling = 3;
// A page whose rendering would be larger is rendered at a lower resolution instead, so that
// a huge MediaBox cannot make a worker allocate gigabytes.
constexpr double kMaxPixels = 50e6;
// Keeps a degenerate page (a MediaBox of a mile by an inch) inside the budget too.
constexpr double kMaxSide = 32767;
// Page images are intermediate files, read once right away: their rows go unfiltered and, while
// the whole range fits in this many bytes (about thirty A4 pages), uncompressed. Writing and
// reading an A4 page then takes about 35 ms instead of 40 to 90 at zlib's fastest level, which
// a longer range uses to spare the disk: it shrinks a page of text twentyfold, one with a
// photo eightfold.
constexpr double kStoredBudget = 200.0 * 1024 * 1024;

using Document = std::unique_ptr<poppler::document>;

enum ExitStatus {
    Done = 0,
    RenderFailed = 1,
    Usage = 2,
    Unreadable = 3,
    NotAPdf = 4,
    Locked = 5,
    WriteFailed = 6
};

// The box of pixels that the page images are scaled to.
struct Box
{
    double width;
    double height;
    bool keepAspect;
};

struct Options
{
    int first;
    int last;
    std::string pdf;
    std::string root;
    std::optional<Box> box;
};

void report(const std::string& message)
{
    std::fprintf(stderr, "pdftopng: %s\n", message.c_str());
}

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// With MIRAVEL_STAGES=1 set, as for the caller's own timings, the tool's stages go to stderr
// as the caller logs its own: "miravel.stages: pdftopng-STAGE MS PDF".
class StageLog
{
public:
    explicit StageLog(const std::string& pdf)
        : pdf(pdf)
    {
        const char* stages = std::getenv("MIRAVEL_STAGES");
        enabled = stages && std::strcmp(stages, "1") == 0;
    }

    void log(const char* stage, double ms) const
    {
        if (enabled)
            std::fprintf(stderr, "miravel.stages: pdftopng-%s %.1f %s\n", stage, ms, pdf.c_str());
    }

private:
    std::string pdf;
    bool enabled = false;
};

std::optional<int> parseNumber(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return int(value);
}

std::optional<Options> parseArguments(int argc, char* argv[])
{
    if (argc != 7 || std::strcmp(argv[1], "-f") != 0 || std::strcmp(argv[3], "-l") != 0)
        return std::nullopt;
    const std::optional<int> first = parseNumber(argv[2]);
    const std::optional<int> last = parseNumber(argv[4]);
    if (!first || !last)
        return std::nullopt;
    return Options {std::max(1, *first), *last, argv[5], argv[6], std::nullopt};
}

// "WIDTHxHEIGHT,keep" or "WIDTHxHEIGHT,stretch", both sides positive; anything else names no
// box.
std::optional<Box> parseBox(const char* text)
{
    int width = 0;
    int height = 0;
    char aspect[8] = {};
    int end = 0;
    if (!text || std::sscanf(text, "%9dx%9d,%7[a-z]%n", &width, &height, aspect, &end) != 3
        || text[end] != '\0' || width < 1 || height < 1)
        return std::nullopt;
    const bool keep = std::strcmp(aspect, "keep") == 0;
    if (!keep && std::strcmp(aspect, "stretch") != 0)
        return std::nullopt;
    return Box {double(width), double(height), keep};
}

// The PDF's bytes, mapped once and shared, read-only, by the documents of all workers: read
// from a file, Poppler fetches streams in pieces of 256 bytes, a system call each, and every
// band fetches its page's streams anew. Empty when the file cannot be mapped (or is too large
// for Poppler's in-memory documents); the documents then read the file. The pages read count
// in the tool's resident memory but are the page cache's, clean and shared. A file cut short
// while it is mapped ends the tool with SIGBUS, which leaves no page image half-written.
class MappedFile
{
public:
    explicit MappedFile(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            openError = errno;
            return;
        }
        struct stat info = {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0
            && info.st_size <= INT_MAX) {
            void* address =
                ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (address != MAP_FAILED) {
                bytes = static_cast<char*>(address);
                size = std::size_t(info.st_size);
            }
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (bytes)
            ::munmap(bytes, size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const char* data() const { return bytes; }
    int length() const { return int(size); }
    // Why the file could not be opened; 0 when it could.
    int error() const { return openError; }

private:
    char* bytes = nullptr;
    std::size_t size = 0;
    int openError = 0;
};

Document openDocument(const MappedFile& file, const std::string& path)
{
    if (file.data())
        return Document(poppler::document::load_from_raw_data(file.data(), file.length()));
    return Document(poppler::document::load_from_file(path));
}

void setUp(poppler::page_renderer& renderer, bool thumbnails)
{
    // Lines thinner than a pixel are drawn a pixel wide, at their share of the pixel's cover:
    // at thumbnail sizes solid lines of a pixel would blacken a page's hairlines.
    if (thumbnails)
        renderer.set_line_mode(poppler::page_renderer::line_shape);
    renderer.set_render_hint(poppler::page_renderer::antialiasing);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing);
    renderer.set_paper_color(0xffffffff);
    // Three bytes a pixel, red first: the rows of an RGB PNG as they are.
    renderer.set_image_format(poppler::image::format_rgb24);
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
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (const char* object : objects) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + object + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";

    std::vector<char> data(pdf.begin(), pdf.end()); // must outlive the document
    const Document document(poppler::document::load_from_raw_data(data.data(), int(data.size())));
    const std::unique_ptr<poppler::page> page(document ? document->create_page(0) : nullptr);
    if (page) {
        poppler::page_renderer renderer;
        setUp(renderer, false);
        renderer.render_page(page.get());
    }
}

// Pixel size of a page's image, the resolutions across and down that the page is rendered at
// and how many rendered pixels along each side make one pixel of the image.
struct Geometry
{
    double xDpi;
    double yDpi;
    int width;
    int height;
    int factor;
};

// The smallest image of a page of width x height points that covers the box, its sides whole
// pixels, rendered `factor` times larger along each side; nothing when that passes kDpi or
// the limits. With the aspect kept, that image is the thumbnail. Stretched, it is scaled
// unevenly afterwards, which keeps small text only from an image of more pixels than the
// thumbnail: it is handed over twice that size, rendered at half the factor.
std::optional<Geometry> thumbnailGeometry(double width, double height, const Box& box)
{
    const int handover = box.keepAspect ? 1 : 2;
    const double cover = std::max(box.width / width, box.height / height);
    const double across = handover * std::max(1.0, std::round(width * cover));
    const double down = handover * std::max(1.0, std::round(height * cover));
    const int factor = int(std::min<double>(
        {double(kSupersampling / handover), std::floor(kDpi / 72 * width / across),
         std::floor(kDpi / 72 * height / down), std::floor(kMaxSide / std::max(across, down)),
         std::floor(std::sqrt(kMaxPixels / (across * down)))}));
    if (factor * handover < kLeastSupersampling)
        return std::nullopt;
    // Across and down apart, so that each side is whole: the caller's scaling then keeps it.
    return Geometry {72 * across * factor / width, 72 * down * factor / height, int(across),
                     int(down), factor};
}

Geometry geometryOf(const poppler::page& page, const std::optional<Box>& box)
{
    // The crop box, turned as the page is shown.
    const poppler::rectf crop = page.page_rect(poppler::crop_box);
    const bool turned = page.orientation() == poppler::page::landscape
        || page.orientation() == poppler::page::seascape;
    const double width = turned ? crop.height() : crop.width();
    const double height = turned ? crop.width() : crop.height();
    if (box) {
        if (const std::optional<Geometry> thumbnail = thumbnailGeometry(width, height, *box))
            return *thumbnail;
    }
    const double scale = std::min(
        {kDpi / 72, std::sqrt(kMaxPixels / (width * height)), kMaxSide / std::max(width, height)});
    if (scale >= kDpi / 72) // rounded as Poppler rounds a whole page
        return {kDpi, kDpi, std::max(1, int(width * scale + 0.5)),
                std::max(1, int(height * scale + 0.5)), 1};
    // Sides rounded down, but at least one pixel, keep the image inside the limits.
    return {72 * scale, 72 * scale, std::max(1, int(width * scale)),
            std::max(1, int(height * scale)), 1};
}

// Each factor x factor block of an RGB image, averaged into one pixel.
poppler::image shrink(const poppler::image& large, int factor)
{
    const int width = large.width() / factor;
    const int height = large.height() / factor;
    poppler::image small(width, height, poppler::image::format_rgb24);
    const unsigned area = unsigned(factor * factor);
    std::vector<unsigned> sums(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int row = y * factor; row < (y + 1) * factor; ++row) {
            const auto* in = reinterpret_cast<const unsigned char*>(large.const_data())
                + std::size_t(row) * std::size_t(large.bytes_per_row());
            for (unsigned* sum = sums.data(); sum != sums.data() + sums.size(); sum += 3) {
                for (int i = 0; i < factor; ++i, in += 3) {
                    sum[0] += in[0];
                    sum[1] += in[1];
                    sum[2] += in[2];
                }
            }
        }
        auto* out = reinterpret_cast<unsigned char*>(small.data())
            + std::size_t(y) * std::size_t(small.bytes_per_row());
        for (std::size_t i = 0; i < sums.size(); ++i)
            out[i] = static_cast<unsigned char>((sums[i] + area / 2) / area);
    }
    return small;
}

// 8-bit RGB rows of the bands, top to bottom; false when libpng fails.
bool encodePng(const std::vector<poppler::image>& bands, int width, int height, int zlibLevel,
               FILE* out)
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
    png_set_compression_level(png, zlibLevel);
    png_write_info(png, info);
    for (const poppler::image& band : bands) {
        const auto* rows = reinterpret_cast<png_const_bytep>(band.const_data());
        for (int y = 0; y < band.height(); ++y)
            png_write_row(png, rows + std::size_t(y) * std::size_t(band.bytes_per_row()));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string pageFileName(const std::string& root, int number)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%06d.png", number);
    return root + suffix;
}

// Writes under a temporary name first, so that nobody ever sees a half-written page image.
bool writePng(const std::vector<poppler::image>& bands, const Geometry& size, int zlibLevel,
              const std::string& path)
{
    const std::string partial = path + ".part";
    FILE* out = std::fopen(partial.c_str(), "wb");
    // Megabytes go out in large writes; the buffer outlives the stream, closed below.
    std::vector<char> buffer(std::size_t(1) << 20);
    if (out)
        std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
    const bool written = out && encodePng(bands, size.width, size.height, zlibLevel, out);
    const bool closed = out && std::fclose(out) == 0;
    if (!written || !closed) {
        report("cannot write " + partial);
        std::remove(partial.c_str());
        return false;
    }
    // rename(2) replaces an older image of the same name in one step.
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        report("cannot rename " + partial + " to " + path);
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

// One page of the range: its bands, filled by whichever workers render them; the worker
// that completes the last band writes the image.
struct PageJob
{
    int number = 0;
    Geometry size {kDpi, kDpi, 1, 1, 1};
    std::vector<poppler::image> bands;
    std::atomic<int> remaining {0};
    std::atomic<bool> failed {false};
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
    Renderer(poppler::document& document, const Options& options, int last, int workers)
        : root(options.root)
        , thumbnails(options.box.has_value())
        , pages(std::size_t(last - options.first + 1))
        , bandCount(bandsPerPage(int(pages.size()), workers))
    {
        double bytes = 0;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            PageJob& job = pages[i];
            job.number = options.first + int(i);
            const std::unique_ptr<poppler::page> page(document.create_page(job.number - 1));
            if (page)
                job.size = geometryOf(*page, options.box);
            else
                job.failed = true;
            bytes += 3.0 * job.size.width * job.size.height;
            job.bands.resize(std::size_t(bandCount));
            job.remaining = bandCount;
        }
        zlibLevel = bytes <= kStoredBudget ? 0 : 1;
        taskCount = int(pages.size()) * bandCount;
    }

    int tasks() const { return taskCount; }

    // Takes tasks until none is left.
    void work(poppler::document& document)
    {
        poppler::page_renderer renderer;
        setUp(renderer, thumbnails);
        for (int task = nextTask++; task < taskCount; task = nextTask++) {
            PageJob& job = pages[std::size_t(task / bandCount)];
            const int band = task % bandCount;
            renderBand(document, renderer, job, band);
            if (--job.remaining == 0)
                finish(job);
        }
    }

    ExitStatus status() const
    {
        return writeFailed ? WriteFailed : renderFailed ? RenderFailed : Done;
    }
    // Time spent writing page images, summed over the workers.
    double writingMs() const { return double(writingMicroseconds) / 1000; }

private:
    void renderBand(poppler::document& document, const poppler::page_renderer& renderer,
                    PageJob& job, int band)
    {
        if (job.failed)
            return;
        const std::unique_ptr<poppler::page> page(document.create_page(job.number - 1));
        if (!page) {
            job.failed = true;
            return;
        }
        const Geometry& size = job.size;
        const int top = int(std::int64_t(size.height) * band / bandCount);
        const int bottom = int(std::int64_t(size.height) * (band + 1) / bandCount);
        if (bottom <= top)
            return; // a page fewer pixels high than there are bands
        const int factor = size.factor;
        const poppler::image image =
            renderer.render_page(page.get(), size.xDpi, size.yDpi, 0, top * factor,
                                 size.width * factor, (bottom - top) * factor);
        if (!image.is_valid() || image.width() != size.width * factor
            || image.height() != (bottom - top) * factor)
            job.failed = true;
        else
            job.bands[std::size_t(band)] = factor == 1 ? image : shrink(image, factor);
    }

    void finish(PageJob& job)
    {
        const Clock::time_point start = Clock::now();
        if (job.failed) {
            report("cannot render page " + std::to_string(job.number));
            renderFailed = true;
        } else if (!writePng(job.bands, job.size, zlibLevel, pageFileName(root, job.number))) {
            writeFailed = true;
        }
        job.bands.clear(); // frees the page's pixels at once
        writingMicroseconds += std::int64_t(1000 * millisecondsSince(start));
    }

    const std::string root;
    const bool thumbnails;
    std::vector<PageJob> pages;
    const int bandCount;
    int zlibLevel = 0;
    int taskCount = 0;
    std::atomic<int> nextTask {0};
    std::atomic<bool> renderFailed {false};
    std::atomic<bool> writeFailed {false};
    std::atomic<std::int64_t> writingMicroseconds {0};
};

} // namespace

int main(int argc, char* argv[])
{
    // Processor time until now: starting the process and loading the libraries.
    timespec started = {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &started);
    const Clock::time_point opening = Clock::now();
    // Started by Miravel: ends with it, even when it is killed.
    if (const char* parent = std::getenv("MIRAVEL_PARENT_PID")) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != std::atoi(parent))
            return Usage; // it ended before the line above
    }
    std::optional<Options> options = parseArguments(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: pdftopng -f FIRST -l LAST PDF ROOT\n");
        return Usage;
    }
    options->box = parseBox(std::getenv("PDFTOPNG_BOX"));
    const StageLog stages(options->pdf);
    stages.log("start", 1e3 * double(started.tv_sec) + double(started.tv_nsec) / 1e6);
    // Poppler's own diagnostics would flood stderr for damaged files; failures are reported
    // here instead.
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);

    // Declared first, so that it outlives the documents.
    const MappedFile file(options->pdf);
    if (file.error()) {
        report("cannot read " + options->pdf + ": " + std::strerror(file.error()));
        return Unreadable;
    }
    std::vector<Document> documents;
    documents.push_back(openDocument(file, options->pdf));
    poppler::document* primary = documents.front().get();
    if (!primary) {
        report("cannot open " + options->pdf + ": not a readable PDF file");
        return NotAPdf;
    }
    if (primary->is_locked()) {
        report("cannot open " + options->pdf + ": the PDF is protected by a password");
        return Locked;
    }

    const int last = std::min(options->last, primary->pages());
    if (last < options->first)
        return Done;

    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    Renderer renderer(*primary, *options, last, cores);
    // Documents are made and destroyed on this thread only: Poppler's global state is
    // set up and torn down with them.
    const int workers = std::min(cores, renderer.tasks());
    while (int(documents.size()) < workers) {
        Document document = openDocument(file, options->pdf);
        if (!document)
            break;
        documents.push_back(std::move(document));
    }

    stages.log("open", millisecondsSince(opening));
    const Clock::time_point drawing = Clock::now();
    std::vector<std::thread> threads;
    if (documents.size() > 1)
        setUpSharedRenderingState();
    for (std::size_t i = 1; i < documents.size(); ++i)
        threads.emplace_back([&renderer, &documents, i] { renderer.work(*documents[i]); });
    renderer.work(*primary);
    for (std::thread& thread : threads)
        thread.join();
    stages.log("draw", millisecondsSince(drawing));
    stages.log("write", renderer.writingMs());

    return renderer.status();
}
