#include "engine/ThumbEngine.h"

#include "OfficeInstallation.h"
#include "WorkerApartment.h"
#include "engine/SkipCheck.h"
#include "producers/ImageThumbnailer.h"
#include "producers/PDFThumbnailer.h"
#include "producers/TextThumbnailer.h"

#ifdef MIRAVEL_HAVE_OFFICE
#include "producers/ExcelThumbnailer.h"
#include "producers/PowerPointThumbnailer.h"
#include "producers/SharedOffice.h"
#include "producers/WordThumbnailer.h"
#endif

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <utility>

namespace {

QMap<qint32, Thumbnailer*> standardProducers()
{
    QMap<qint32, Thumbnailer*> producers;
#ifdef MIRAVEL_HAVE_OFFICE
    // One warm office process serves the three office families.
    const auto shared = std::make_shared<SharedOffice>();
    if (isExcelAvailable())
        producers.insert(Excel, new ExcelThumbnailer(shared));
    if (isPowerPointAvailable())
        producers.insert(PowerPoint, new PowerPointThumbnailer(shared));
    if (isWordAvailable())
        producers.insert(Word, new WordThumbnailer(shared));
#endif
    producers.insert(Picture, new ImageThumbnailer);
    producers.insert(Pdf, new PDFThumbnailer);
    producers.insert(Text, new TextThumbnailer);
    return producers;
}

// The installed office, or none when Miravel was built without office support.
const OfficeInstallation* installedOffice()
{
#ifdef MIRAVEL_HAVE_OFFICE
    return &OfficeInstallation::system();
#else
    return nullptr;
#endif
}

} // namespace

bool isExcelAvailable()
{
    return installedOffice() && installedOffice()->calcAvailable();
}

bool isPowerPointAvailable()
{
    return installedOffice() && installedOffice()->impressAvailable();
}

bool isWordAvailable()
{
    return installedOffice() && installedOffice()->writerAvailable();
}

ThumbEngine::ThumbEngine()
    : ThumbEngine(standardProducers())
{
}

ThumbEngine::ThumbEngine(const QMap<qint32, Thumbnailer*>& producers)
    : QThread(nullptr)
    , producers(producers)
{
    // The signals' payloads, queued to whoever receives them on another thread.
    qRegisterMetaType<Thumbnailer::tThumbnailPages>("Thumbnailer::tThumbnailPages");
    qRegisterMetaType<ThumbEngine::ThumbStatus>("ThumbEngine::ThumbStatus");
    qRegisterMetaType<ThumbEngine::ThumbnailFiles>("ThumbEngine::ThumbnailFiles");
    qRegisterMetaType<ThumbEngine::SigStatus>("ThumbEngine::SigStatus");
    qRegisterMetaType<FileReport>("FileReport");
    for (Thumbnailer* producer : producers)
        producer->setNameClaims(&claims);
}

ThumbEngine::~ThumbEngine()
{
    quit();
}

void ThumbEngine::setPdf2PngPath(const QString& path)
{
    for (Thumbnailer* producer : qAsConst(producers))
        producer->setPdf2PngPath(path);
}

void ThumbEngine::startJob(const ThumbJob& newJob)
{
    QMutexLocker lock(&mutex);
    pendingJob = newJob;
    stopRequested = false;
    // Seen by a job still running after a stop: it ends, and this one starts right after.
    jobPending = true;
    jobReady.wakeOne();
}

void ThumbEngine::prepare(const QStringList& extensions)
{
    QMutexLocker lock(&mutex);
    pendingPreparation = extensions;
    jobReady.wakeOne();
}

void ThumbEngine::stop()
{
    stopRequested = true;
}

void ThumbEngine::abort()
{
    stopRequested = true;
    // A producer waiting on a hung office would otherwise hold the end up.
    for (Thumbnailer* producer : qAsConst(producers))
        producer->abort();
}

void ThumbEngine::quit()
{
    {
        QMutexLocker lock(&mutex);
        quitRequested = true;
        jobReady.wakeOne();
    }
    abort();
    wait();
    releaseProducers();
}

bool ThumbEngine::isStopping() const
{
    return stopRequested || jobPending || quitRequested;
}

void ThumbEngine::releaseProducers()
{
    qDeleteAll(producers);
    producers.clear();
}

void ThumbEngine::applySettings()
{
    static const qint32 order[] = {Excel, PowerPoint, Word, Picture, Pdf, Text};
    for (qint32 family : order) {
        if (Thumbnailer* producer = producers.value(family))
            producer->setSettings(job.settings.value(family, ThumbSettings()));
    }
}

void ThumbEngine::run()
{
    initializeWorkerApartment();
    if (auto* text = qobject_cast<TextThumbnailer*>(producers.value(Text)))
        text->prepare();

    while (!quitRequested) {
        {
            QMutexLocker lock(&mutex);
            while (!jobPending && pendingPreparation.isEmpty() && !quitRequested)
                jobReady.wait(&mutex);
            if (quitRequested)
                break;
            const QStringList preparation = std::exchange(pendingPreparation, {});
            started.clear();
            if (!jobPending) {
                lock.unlock();
                for (const QString& extension : preparation)
                    startProducer(extension.toLower());
                continue;
            }
            // The producers are idle here, so their settings can be replaced.
            job = pendingJob;
            jobPending = false;
            currentFile.clear();
            claims.clear();
            applySettings();
        }

        QStringList files;
        if (gatherFiles(files)) {
            for (const QString& path : qAsConst(files)) {
                if (isStopping())
                    break;
                processFile(path);
            }
        }
        if (!quitRequested)
            emit sigDone(isStopping() ? KStopped : KFinished);
    }

    for (Thumbnailer* producer : qAsConst(producers))
        producer->releaseWorkerResources();
}

void ThumbEngine::startProducer(const QString& suffix)
{
    Thumbnailer* producer = producers.value(typeForSuffix(suffix));
    if (producer && !started.contains(producer)) {
        started.insert(producer);
        producer->jobStarting();
    }
}

bool ThumbEngine::gatherFiles(QStringList& files)
{
    gathered.clear();
    for (const QString& path : qAsConst(job.paths)) {
        if (isStopping())
            break;
        const QFileInfo info(path);
        // Anything else chosen, missing or no regular file, is kept to be reported; a file
        // named on its own is placed in a share by the path as given.
        if (info.isDir())
            scanFolder(path, files);
        else if (job.shard.holds(path))
            addFile(path, info, files);
    }
    if (isStopping())
        return false;
    emit sigStatus(KNumFiles, files.size());
    if (isStopping())
        return false;
    return !job.paths.isEmpty();
}

void ThumbEngine::scanFolder(const QString& folder, QStringList& files)
{
    const QDir root(folder);
    // Hidden entries stay out; a FIFO, device, socket or broken link of a wanted suffix is
    // found, to be reported rather than dropped without a word.
    QDirIterator it(folder, QDir::AllEntries | QDir::System,
                    job.recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        if (isStopping())
            return;
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir())
            continue;
        const QString suffix = info.suffix();
        const bool wanted = std::any_of(
            job.extensions.cbegin(), job.extensions.cend(), [&suffix](const QString& extension) {
                return suffix.compare(extension, Qt::CaseInsensitive) == 0;
            });
        if (wanted && job.shard.holds(root.relativeFilePath(info.absoluteFilePath()))) {
            const QString path = info.absoluteFilePath();
            emit sigStatus(KFileFound, path);
            addFile(path, info, files);
        }
    }
}

void ThumbEngine::addFile(const QString& path, const QFileInfo& info, QStringList& files)
{
    // One file reached twice ("a/../a/x.pdf" and "a/x.pdf", chosen and found in a chosen
    // folder) is made once, under the path it was first reached by.
    const QString canonical = info.canonicalFilePath();
    const QString key = canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    if (gathered.contains(key))
        return;
    gathered.insert(key);
    files << path;
    // The office starts while the files before its first document are made. An empty file is
    // no document, and neither a missing path nor a FIFO or device has a size.
    if (info.size() > 0)
        startProducer(info.suffix().toLower());
}

qint32 ThumbEngine::typeForSuffix(const QString& suffix)
{
    auto cached = suffixCache.constFind(suffix);
    if (cached != suffixCache.constEnd())
        return cached.value();
    qint32 family = NoType;
    for (auto it = producers.cbegin(); it != producers.cend(); ++it) {
        if (it.value()->supportedExtensions().contains(suffix)) {
            family = it.key();
            break;
        }
    }
    suffixCache.insert(suffix, family);
    return family;
}

void ThumbEngine::processFile(const QString& path)
{
    const QFileInfo info(path);
    const qint32 family = typeForSuffix(info.suffix().toLower());
    currentFile = QDir::toNativeSeparators(path);
    emit sigStatus(KCurrentFile, currentFile);

    FileReport report;
    report.source = currentFile;
    Thumbnailer* producer = producers.value(family);
    // Only regular files are handed on: opening a FIFO or a device would block the worker.
    if (!info.exists()) {
        report.failure = FileReport::NotFound;
    } else if (!info.isFile()) {
        report.failure = FileReport::NotAFile;
    } else if (!producer) {
        qDebug() << "ThumbEngine::run"
                 << " no producer for " << currentFile;
        report.failure = FileReport::NotSupported;
    } else if (QFile readable(currentFile); !readable.open(QIODevice::ReadOnly)) {
        report.failure = FileReport::NotReadable;
    }
    if (report.failure != FileReport::None) {
        emit sigFileDone(report);
        return;
    }
    QFile file(currentFile);
    if (SkipCheck::passOver(file, family, *producer, job, claims, report)) {
        emit sigFileDone(report);
        return;
    }
    report.pages = producer->generate(file);
    const FileReport::Failure failure = producer->takeFailure();

    ThumbnailFiles result;
    for (auto it = report.pages.cbegin(); it != report.pages.cend(); ++it)
        result[currentFile].insert(it.value());
    if (!result.isEmpty()) {
        emit sigGenerated(result);
        report.nameClashes = claims.clashesOf(currentFile);
    } else {
        report.failure = failure == FileReport::None ? FileReport::Unknown : failure;
    }
    emit sigFileDone(report);
}
