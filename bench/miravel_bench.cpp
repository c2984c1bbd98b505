// miravel-bench: runs one thumbnail job through the engine, without a window, and reports
// what it cost.
//
//   miravel-bench [--ext jpg,pdf] [--recursive] [--size 200x200] [--keep-aspect on|off]
//                 [--pages 1-10] [--format png|jpg|bmp] [--output DIR] PATH...
//
// Output, one "KEY value" per line on stdout:
//   FILES n           files gathered (KNumFiles)
//   THUMBNAILS n      thumbnails reported through sigGenerated
//   ERRORS n          error-log lines written by the producers
//   WALL_MS n         from startJob to sigDone
//   PEAK_MB x         peak resident memory of this process (VmHWM)
//   CHILD_PEAK_MB x   peak resident memory of the largest child process (pdftopng, ...)

#include "BatchOptions.h"
#include "engine/ThumbEngine.h"
#include "options/JobBuilder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/resource.h>

namespace {

int errorLines = 0;
QtMessageHandler previousHandler = nullptr;

void countErrors(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("[ERROR]")))
        ++errorLines;
    previousHandler(type, context, message);
}

double megabytes(double kilobytes)
{
    return kilobytes / 1024.0;
}

double peakMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // /proc files report size 0, so read them whole rather than line by line.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("VmHWM:"))
            return megabytes(line.mid(6).simplified().split(' ').value(0).toDouble());
    }
    return -1;
}

double childPeakMemoryMb()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return megabytes(double(usage.ru_maxrss));
}

int fail(const QString& message)
{
    std::fprintf(stderr, "miravel-bench: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    // Typesetting text needs fonts, hence a GUI application, but no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    previousHandler = qInstallMessageHandler(countErrors);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs one thumbnail job and reports its cost."));
    parser.addHelpOption();
    const QCommandLineOption extOption(
        QStringLiteral("ext"),
        QStringLiteral("Suffixes searched for in folders (default: all the engine handles)."),
        QStringLiteral("list"));
    const QCommandLineOption recursiveOption(QStringLiteral("recursive"),
                                             QStringLiteral("Also search sub-folders."));
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Thumbnail box, WIDTHxHEIGHT (default 200x200)."),
        QStringLiteral("box"), QStringLiteral("200x200"));
    const QCommandLineOption aspectOption(
        QStringLiteral("keep-aspect"),
        QStringLiteral("Keep the aspect ratio: on (default) or off."), QStringLiteral("on|off"),
        QStringLiteral("on"));
    const QCommandLineOption pagesOption(
        QStringLiteral("pages"),
        QStringLiteral("Pages of PDF and office files, FIRST-LAST (default 1-1)."),
        QStringLiteral("range"), QStringLiteral("1-1"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"), QStringLiteral("Thumbnail format: png (default), jpg or bmp."),
        QStringLiteral("format"), QStringLiteral("png"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("Output folder (default: a temporary folder, removed at the end)."),
        QStringLiteral("folder"));
    parser.addOptions({extOption, recursiveOption, sizeOption, aspectOption, pagesOption,
                       formatOption, outputOption});
    parser.addPositionalArgument(QStringLiteral("paths"), QStringLiteral("Files and folders."),
                                 QStringLiteral("PATH..."));
    parser.process(app);

    const auto size = BatchOptions::parseSize(parser.value(sizeOption));
    const auto pages = BatchOptions::parsePages(parser.value(pagesOption));
    const auto format = BatchOptions::parseFormat(parser.value(formatOption));
    const QString aspect = parser.value(aspectOption);
    if (!size)
        return fail(QStringLiteral("bad --size, expected e.g. 200x200"));
    if (!pages)
        return fail(QStringLiteral("bad --pages, expected e.g. 1-10"));
    if (!format)
        return fail(QStringLiteral("bad --format, expected png, jpg or bmp"));
    if (aspect != QLatin1String("on") && aspect != QLatin1String("off"))
        return fail(QStringLiteral("bad --keep-aspect, expected on or off"));
    if (parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("no files or folders given"));

    QTemporaryDir temporaryOutput;
    const QString output =
        parser.isSet(outputOption) ? parser.value(outputOption) : temporaryOutput.path();
    if (!QDir().mkpath(output))
        return fail(QStringLiteral("cannot create %1").arg(output));

    JobOptions options;
    options.nameFormat = QStringLiteral("[NAME]_[PAGE]");
    options.outputFolder = QDir::toNativeSeparators(QDir(output).absolutePath());
    for (JobOptions::Group& group : options.groups) {
        group.width = size->width();
        group.height = size->height();
        group.keepAspectRatio = aspect == QLatin1String("on");
        group.pageStart = pages->first;
        group.pageEnd = pages->second;
    }
    options.outputFormat = *format;
    options.paths = parser.positionalArguments();
    options.recursive = parser.isSet(recursiveOption);
    options.extensions = parser.isSet(extOption)
        ? parser.value(extOption).split(QLatin1Char(','), Qt::SkipEmptyParts)
        : JobBuilder::availableExtensions();
    const ThumbJob job = JobBuilder::build(options);

    qRegisterMetaType<ThumbEngine::SigStatus>("ThumbEngine::SigStatus");
    qRegisterMetaType<ThumbEngine::ThumbStatus>("ThumbEngine::ThumbStatus");
    qRegisterMetaType<ThumbEngine::ThumbnailFiles>("ThumbEngine::ThumbnailFiles");

    ThumbEngine engine;
    qint64 files = 0;
    qint64 thumbnails = 0;
    QObject::connect(&engine, &ThumbEngine::sigStatus, &app,
                     [&files](ThumbEngine::SigStatus status, const QVariant& data) {
                         if (status == ThumbEngine::KNumFiles)
                             files = data.toLongLong();
                     });
    QObject::connect(&engine, &ThumbEngine::sigGenerated, &app,
                     [&thumbnails](const ThumbEngine::ThumbnailFiles& generated) {
                         for (const QSet<QString>& set : generated)
                             thumbnails += set.size();
                     });
    QObject::connect(&engine, &ThumbEngine::sigDone, &app, [] { QCoreApplication::exit(0); });

    engine.setPdf2PngPath(QCoreApplication::applicationDirPath()
                          + QStringLiteral("/pdf2png/pdftopng"));
    engine.start();

    // An empty job returns once the worker has prepared its producers, as it long has in the
    // application by the time the user starts a job; the measured job then starts warm.
    engine.startJob(ThumbJob());
    app.exec();

    QElapsedTimer timer;
    timer.start();
    engine.startJob(job);
    app.exec();
    const qint64 wallMs = timer.elapsed();

    engine.stop();
    engine.quit();

    std::printf("FILES %lld\n", files);
    std::printf("THUMBNAILS %lld\n", thumbnails);
    std::printf("ERRORS %d\n", errorLines);
    std::printf("WALL_MS %lld\n", wallMs);
    std::printf("PEAK_MB %.1f\n", peakMemoryMb());
    std::printf("CHILD_PEAK_MB %.1f\n", childPeakMemoryMb());
    return 0;
}
