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
// file, so what it loads at start-up counts. Options reads the command line, MappedFile the
// PDF, PageGeometry sizes each page, Renderer shares the pages among the workers, PageImage
// writes each page image, StageLog times the stages.
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

#include "MappedFile.h"
#include "Options.h"
#include "Renderer.h"
#include "StageLog.h"

#include <poppler-global.h>

#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

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
        Renderer::setUpSharedRenderingState();
    for (std::size_t i = 1; i < documents.size(); ++i)
        threads.emplace_back([&renderer, &documents, i] { renderer.work(*documents[i]); });
    renderer.work(*primary);
    for (std::thread& thread : threads)
        thread.join();
    stages.log("draw", millisecondsSince(drawing));
    stages.log("write", renderer.writingMs());

    return renderer.status();
}
