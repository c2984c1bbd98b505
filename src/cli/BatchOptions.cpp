#include "BatchOptions.h"

#include "job/Names.h"
#include "options/JobBuilder.h"
#include "options/StoredSettings.h"
#include "output/NameTemplate.h"
#include "output/OutputFormat.h"
#include "output/WorkArea.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct FamilyName
{
    const char* name;
    qint32 family;
};

const FamilyName FamilyNames[] = {
    {"word", Word}, {"excel", Excel}, {"powerpoint", PowerPoint},
    {"text", Text}, {"pdf", Pdf},     {"pictures", Picture},
};

std::optional<qint32> familyNamed(const QString& name)
{
    for (const FamilyName& f : FamilyNames) {
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return f.family;
    }
    return std::nullopt;
}

} // namespace

bool BatchOptions::isRequested(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--batch") == 0)
            return true;
    }
    return false;
}

std::optional<QSize> BatchOptions::parseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool wOk = false;
    bool hOk = false;
    const QSize size(parts.value(0).toInt(&wOk), parts.value(1).toInt(&hOk));
    if (parts.size() != 2 || !wOk || !hOk || size.isEmpty())
        return std::nullopt;
    return size;
}

std::optional<QPair<int, int>> BatchOptions::parsePages(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('-'));
    bool firstOk = false;
    bool lastOk = false;
    const int first = parts.first().toInt(&firstOk);
    const int last = parts.last().toInt(&lastOk);
    if (parts.size() > 2 || !firstOk || !lastOk || first < 1 || last < first)
        return std::nullopt;
    return qMakePair(first, last);
}

std::optional<ThumbSettings::tOutFormat> BatchOptions::parseFormat(const QString& text)
{
    if (const OutputFormat* format = OutputFormat::named(text))
        return format->format;
    return std::nullopt;
}

std::optional<Shard> BatchOptions::parseShard(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    bool indexOk = false;
    bool countOk = false;
    const Shard shard {parts.first().toInt(&indexOk), parts.last().toInt(&countOk)};
    if (parts.size() != 2 || !indexOk || !countOk || shard.index < 1 || shard.index > shard.count)
        return std::nullopt;
    return shard;
}

bool BatchOptions::fail(const QString& reason)
{
    error = reason;
    return false;
}

bool BatchOptions::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Makes thumbnails of documents and pictures without a window.\n"
           "Prints one line per source file: the source, then each thumbnail's page and "
           "path, tab-separated; in names a backslash is written \\\\ and a control "
           "character \\xHH, as printf %b reads them.\n"
           "FAMILY is one of word, excel, powerpoint, pdf (also for text) and pictures; "
           "without FAMILY= a value applies to every family.\n"
           "Exit status: 0 all files gave thumbnails (or were up to date), 1 some gave none "
           "(missing paths included), 2 usage error or unusable output or working folder, "
           "129/130/143 stopped by SIGHUP/SIGINT/SIGTERM, 141 standard output closed."));
    parser.addHelpOption();
    const QCommandLineOption batch(QStringLiteral("batch"), tr("Run without a window."));
    const QCommandLineOption types(
        {QStringLiteral("t"), QStringLiteral("types")},
        tr("File families searched for in folders: word, excel, powerpoint, text, pdf, "
           "pictures (default: all available)."),
        tr("list"));
    const QCommandLineOption ext({QStringLiteral("e"), QStringLiteral("ext")},
                                 tr("Suffixes searched for in folders, such as pdf,jpg."),
                                 tr("list"));
    const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                       tr("Also search the sub-folders of the folders given."));
    const QCommandLineOption filesFrom(
        {QStringLiteral("f"), QStringLiteral("files-from")},
        tr("Read more paths from FILE, one per line; - reads standard input."), tr("FILE"));
    const QCommandLineOption null(
        {QStringLiteral("0"), QStringLiteral("null")},
        tr("Paths in --files-from end with NUL, as find -print0 writes them."));
    const QCommandLineOption size(
        {QStringLiteral("s"), QStringLiteral("size")},
        tr("Thumbnail box, [FAMILY=]WIDTHxHEIGHT, 20 to 1000 (default 200x200)."), tr("size"));
    const QCommandLineOption pages({QStringLiteral("p"), QStringLiteral("pages")},
                                   tr("Pages of documents, [FAMILY=]FIRST-LAST (default 1-1)."),
                                   tr("range"));
    const QCommandLineOption keep(
        {QStringLiteral("k"), QStringLiteral("keep-aspect")},
        tr("Keep the aspect ratio, [FAMILY=]on|off (default on): the thumbnail "
           "covers the box and one side may be longer (an A4 page in "
           "200x200 gives 200x283); off stretches it to the box."),
        tr("on|off"));
    const QCommandLineOption format({QStringLiteral("F"), QStringLiteral("format")},
                                    tr("Thumbnail format: png (default), jpg or bmp."),
                                    tr("format"));
    const QCommandLineOption output(
        {QStringLiteral("o"), QStringLiteral("output")},
        tr("Folder that receives the thumbnails; created when missing."), tr("DIR"));
    const QCommandLineOption beside({QStringLiteral("b"), QStringLiteral("beside-source")},
                                    tr("Put each thumbnail into the folder of its source file."));
    const QCommandLineOption nameTemplate(
        {QStringLiteral("T"), QStringLiteral("template")},
        tr("Thumbnail name without extension, with the tokens [NAME], [PAGE], [DATE], "
           "[TIME], [CDATE], [CTIME], [MDATE], [MTIME], [FOLDER], [FILESIZE] "
           "(default thumbnail_[NAME]_[PAGE]). A name that another source of the run already "
           "has gets -2, -3, ... before the extension."),
        tr("TEXT"));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        tr("Start from the window's stored settings; the options given override them and "
           "nothing is written back."));
    const QCommandLineOption update(
        {QStringLiteral("u"), QStringLiteral("update")},
        tr("Only new or changed files: pass over a source whose thumbnails were made from it "
           "as it is now with these options (for BMP: whose first thumbnail is newer than it). "
           "Not with [DATE] or [TIME] in the template."));
    const QCommandLineOption shard(
        QStringLiteral("shard"),
        tr("Only share K of N (1 <= K <= N) of the sources, chosen by the MD5 of each path "
           "relative to the folder it was found in (a file given by name: its path as given), "
           "so that N runs, on any machines, make each thumbnail once."),
        tr("K/N"));
    const QCommandLineOption jsonOption(
        {QStringLiteral("j"), QStringLiteral("json")},
        tr("Print one JSON object per source file instead of a line of text."));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         tr("No progress line on a terminal."));
    const QCommandLineOption verboseOption(
        {QStringLiteral("v"), QStringLiteral("verbose")},
        tr("Also print the producers' error log on standard error."));
    parser.addOptions({batch, types, ext, recursive, filesFrom, null, size, pages, keep, format,
                       output, beside, nameTemplate, settings, update, shard, jsonOption,
                       quietOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("paths"), tr("Files and folders."),
                                 QStringLiteral("PATH..."));
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        // The toolkit's usage line names the binary only; this one says how batch mode starts.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     tr("Usage: miravel --batch [options] PATH..."));
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::exit(0);
    }

    if (parser.isSet(settings)) {
        StoredSettings stored;
        stored.read(QSettings(Names::Maker, Names::Product));
        job = stored.options;
        job.extensions = JobBuilder::extensionsOfEntries(stored.fileTypes);
    } else {
        job.extensions = JobBuilder::availableExtensions();
    }
    if ((parser.isSet(types) || parser.isSet(ext))
        && !applyTypes(parser.values(types), parser.values(ext)))
        return false;
    if (parser.isSet(recursive))
        job.recursive = true;

    for (const QString& value : parser.values(size)) {
        if (!applyPerFamily(QStringLiteral("size"), value, false))
            return false;
    }
    for (const QString& value : parser.values(pages)) {
        if (!applyPerFamily(QStringLiteral("pages"), value, true))
            return false;
    }
    for (const QString& value : parser.values(keep)) {
        if (!applyPerFamily(QStringLiteral("keep-aspect"), value, false))
            return false;
    }
    if (parser.isSet(format)) {
        const auto parsed = parseFormat(parser.value(format));
        if (!parsed)
            return fail(tr("bad --format %1: expected png, jpg or bmp").arg(parser.value(format)));
        job.outputFormat = *parsed;
    }

    if (parser.isSet(output) && parser.isSet(beside))
        return fail(tr("--output and --beside-source exclude each other"));
    if (parser.isSet(output)) {
        job.outputFolder = parser.value(output);
        job.useFileFolder = false;
    }
    if (parser.isSet(beside))
        job.useFileFolder = true;
    if (parser.isSet(nameTemplate))
        job.nameFormat = parser.value(nameTemplate);
    if (job.nameFormat.isEmpty())
        return fail(tr("the name template is empty"));
    if (parser.isSet(update)) {
        if (NameTemplate::readsClock(job.nameFormat))
            return fail(NameTemplate::clockExcludesUpdate());
        job.update = true;
    }
    if (parser.isSet(shard)) {
        const std::optional<Shard> share = parseShard(parser.value(shard));
        if (!share)
            return fail(
                tr("bad --shard %1: expected K/N with 1 <= K <= N").arg(parser.value(shard)));
        job.shard = *share;
    }

    json = parser.isSet(jsonOption);
    quiet = parser.isSet(quietOption);
    verbose = parser.isSet(verboseOption);

    job.paths = parser.positionalArguments();
    if (parser.isSet(null) && !parser.isSet(filesFrom))
        return fail(tr("--null needs --files-from"));
    for (const QString& list : parser.values(filesFrom)) {
        if (!readPathList(list, parser.isSet(null)))
            return false;
    }
    if (job.paths.isEmpty())
        return fail(tr("no files or folders given"));
    if (!checkOutput())
        return false;
    const QString unusable = WorkArea::check();
    if (!unusable.isEmpty())
        return fail(
            tr("cannot use the working folder %1: %2").arg(WorkArea::workingFolder(), unusable));
    return true;
}

bool BatchOptions::applyTypes(const QStringList& names, const QStringList& suffixes)
{
    job.extensions.clear();
    for (const QString& list : names) {
        for (const QString& name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const std::optional<qint32> family = familyNamed(name.trimmed());
            if (!family)
                return fail(tr("unknown file family %1 in --types").arg(name));
            if (!JobBuilder::isAvailable(*family))
                return fail(tr("%1 documents need LibreOffice 7.4 or later with Writer, Calc "
                               "and Impress")
                                .arg(name));
            job.extensions += JobBuilder::extensions(*family);
        }
    }
    for (const QString& list : suffixes) {
        for (QString suffix : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            suffix = suffix.trimmed();
            if (suffix.startsWith(QLatin1String("*.")))
                suffix.remove(0, 2);
            else if (suffix.startsWith(QLatin1Char('.')))
                suffix.remove(0, 1);
            job.extensions << suffix;
        }
    }
    if (job.extensions.isEmpty())
        return fail(tr("no file types given"));
    return true;
}

bool BatchOptions::applyPerFamily(const QString& option, const QString& value, bool pagesOnly)
{
    QList<qint32> groups = job.groups.keys();
    QString text = value;
    const int equals = value.indexOf(QLatin1Char('='));
    if (equals >= 0) {
        const QString name = value.left(equals);
        const std::optional<qint32> family = familyNamed(name);
        if (family == Text)
            return fail(tr("text thumbnails take the pdf values: use pdf= in --%1").arg(option));
        if (!family || (pagesOnly && *family == Picture))
            return fail(tr("no family %1 for --%2").arg(name, option));
        groups = {*family};
        text = value.mid(equals + 1);
    }
    if (option == QLatin1String("size")) {
        const std::optional<QSize> box = parseSize(text);
        if (!box || box->width() < JobOptions::MinSize || box->width() > JobOptions::MaxSize
            || box->height() < JobOptions::MinSize || box->height() > JobOptions::MaxSize)
            return fail(tr("bad --size %1: expected WIDTHxHEIGHT, 20 to 1000").arg(value));
        for (qint32 g : groups) {
            job.groups[g].width = box->width();
            job.groups[g].height = box->height();
        }
    } else if (option == QLatin1String("pages")) {
        const auto range = parsePages(text);
        if (!range || range->second > JobOptions::MaxPage)
            return fail(tr("bad --pages %1: expected FIRST-LAST, 1 to 1000").arg(value));
        for (qint32 g : groups) {
            job.groups[g].pageStart = range->first;
            job.groups[g].pageEnd = range->second;
        }
    } else {
        if (text != QLatin1String("on") && text != QLatin1String("off"))
            return fail(tr("bad --keep-aspect %1: expected on or off").arg(value));
        for (qint32 g : groups)
            job.groups[g].keepAspectRatio = text == QLatin1String("on");
    }
    return true;
}

bool BatchOptions::readPathList(const QString& source, bool nulSeparated)
{
    QFile file(source);
    const bool opened = source == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                     : file.open(QIODevice::ReadOnly);
    if (!opened)
        return fail(tr("cannot read %1: %2").arg(source, file.errorString()));
    const char separator = nulSeparated ? '\0' : '\n';
    for (const QByteArray& entry : file.readAll().split(separator)) {
        if (!entry.isEmpty())
            job.paths << QFile::decodeName(entry);
    }
    return true;
}

bool BatchOptions::checkOutput()
{
    if (job.useFileFolder)
        return true;
    if (job.outputFolder.isEmpty())
        return fail(tr("no output folder: give --output DIR or --beside-source"));
    const QString folder = QDir(job.outputFolder).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(tr("cannot create the output folder %1").arg(folder));
    if (!QFileInfo(folder).isWritable())
        return fail(tr("cannot write into the output folder %1").arg(folder));
    job.outputFolder = QDir::toNativeSeparators(folder);
    return true;
}
