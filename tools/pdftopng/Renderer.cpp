#include "Renderer.h"

#include "MappedFile.h"
#include "PageImage.h"
#include "StageLog.h"

#include <poppler-page.h>

#include <cstdio>
#include <memory>
#include <numeric>

namespace {

// Page images are intermediate files, read once right away: their rows go unfiltered and, while
// the whole range fits in this many bytes (about thirty A4 pages), uncompressed. Writing and
// reading an A4 page then takes about 35 ms instead of 40 to 90 at zlib's fastest level, which
// a longer range uses to spare the disk: it shrinks a page of text twentyfold, one with a
// photo eightfold.
constexpr double kStoredBudget = 200.0 * 1024 * 1024;

// Bands per page that share the pages evenly among the workers, so that none waits idle at
// the end: three pages on two cores make six half pages. Each band interprets the whole page
// again, so a range long enough to keep every worker busy is rendered in whole pages.
int bandsPerPage(int pages, int workers)
{
    if (pages >= 2 * workers)
        return 1;
    return workers / std::gcd(pages, workers);
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

} // namespace

Renderer::Renderer(poppler::document& document, const Options& options, int last, int workers)
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

void Renderer::work(poppler::document& document)
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

ExitStatus Renderer::status() const
{
    return writeFailed ? WriteFailed : renderFailed ? RenderFailed : Done;
}

void Renderer::renderBand(poppler::document& document, const poppler::page_renderer& renderer,
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
        renderer.render_page(page.get(), size.xDpi, size.yDpi, 0, top * factor, size.width * factor,
                             (bottom - top) * factor);
    if (!image.is_valid() || image.width() != size.width * factor
        || image.height() != (bottom - top) * factor)
        job.failed = true;
    else
        job.bands[std::size_t(band)] = factor == 1 ? image : shrink(image, factor);
}

void Renderer::finish(PageJob& job)
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

// Poppler sets up state shared by all documents (colour management) on the first page any
// thread renders, without a lock. Rendering an empty page on this thread before the workers
// start keeps them from racing to set it up.
void Renderer::setUpSharedRenderingState()
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
