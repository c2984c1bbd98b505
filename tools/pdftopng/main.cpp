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
#include <QImageWriter>
#include <QThread>

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
// QPngHandler turns quality q into zlib level (100 - q) * 9 / 91; 85 gives level 1, the
// fastest level that still compresses.
constexpr int kPngQuality = 85;

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

// Writes under a temporary name first, so that nobody ever sees a half-written page image.
bool writePng(const QImage& image, const QString& path)
{
    const QString partial = path + QLatin1String(".part");
    QImageWriter writer(partial, "png");
    writer.setQuality(kPngQuality);
    if (!writer.write(image)) {
        report(QStringLiteral("cannot write %1: %2").arg(partial, writer.errorString()));
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
