#pragma once

#include "Options.h"
#include "PageGeometry.h"

#include <poppler-document.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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

// Renders the pages of a range on any number of workers, a page or a band of one at a time,
// and writes each page image once its last band is done.
class Renderer
{
public:
    // Measures the pages in document before any worker starts.
    Renderer(poppler::document& document, const Options& options, int last, int workers);

    int tasks() const { return taskCount; }

    // Takes tasks until none is left.
    void work(poppler::document& document);

    ExitStatus status() const;
    // Time spent writing page images, summed over the workers.
    double writingMs() const { return double(writingMicroseconds) / 1000; }

    // Poppler sets up state shared by all documents on the first page any thread renders:
    // called on the main thread before the workers start.
    static void setUpSharedRenderingState();

private:
    void renderBand(poppler::document& document, const poppler::page_renderer& renderer,
                    PageJob& job, int band);
    void finish(PageJob& job);

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
