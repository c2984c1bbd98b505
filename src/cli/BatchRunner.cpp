#include "BatchRunner.h"

#include "job/Names.h"
#include "options/JobBuilder.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

bool writeLine(FILE* stream, const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fputc('\n', stream);
    return std::fflush(stream) == 0;
}

QString clockText(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// A name as a terminal shows it safely and a reader splits the line unambiguously: a
// backslash doubled, any control character as \xHH, as printf %b reads them back.
QString escaped(const QString& name)
{
    QString text;
    for (const QChar c : name) {
        const ushort code = c.unicode();
        if (code == '\\')
            text += QLatin1String("\\\\");
        else if (code < 0x20 || (code >= 0x7f && code <= 0x9f))
            text += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

QtMessageHandler defaultHandler = nullptr;

// The producers' error log is debug output: kept off the terminal unless asked for.
void dropDebugOutput(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        defaultHandler(type, context, message);
}

} // namespace

BatchRunner::BatchRunner(const BatchOptions& options, QObject* parent)
    : QObject(parent)
    , options(options)
    , job(JobBuilder::build(options.job))
    , progress(!options.quiet && ::isatty(STDERR_FILENO))
{
    // A reader that went away (| head) must not kill the process before the office ends.
    std::signal(SIGPIPE, SIG_IGN);
    connect(&engine, &ThumbEngine::sigStatus, this, &BatchRunner::onStatus);
    connect(&engine, &ThumbEngine::sigFileDone, this, &BatchRunner::onFileDone);
    connect(&engine, &ThumbEngine::sigDone, this, &BatchRunner::onDone);
    connect(&termination, &TerminationSignals::received, this, &BatchRunner::onTermination);
    connect(&ticker, &QTimer::timeout, this, &BatchRunner::showProgress);
}

BatchRunner::~BatchRunner() = default;

int BatchRunner::run()
{
    if (!options.verbose)
        defaultHandler = qInstallMessageHandler(dropDebugOutput);
    const QString appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    engine.setPdf2PngPath(QDir::toNativeSeparators(appFolder + Names::Pdf2PngTool));
    engine.start(QThread::InheritPriority);
    clock.start();
    if (progress)
        ticker.start(1000);
    engine.startJob(job);
    return QCoreApplication::exec();
}

void BatchRunner::onStatus(ThumbEngine::SigStatus status, const QVariant& data)
{
    if (status == ThumbEngine::KNumFiles) {
        total = data.toInt();
    } else if (status == ThumbEngine::KCurrentFile) {
        current = data.toString();
    }
    showProgress();
}

void BatchRunner::onFileDone(const FileReport& report)
{
    ++done;
    if (report.skipped == FileReport::OwnThumbnail)
        passedOver << report.source;
    else if (report.skipped == FileReport::UpToDate)
        ++upToDate;
    else if (report.pages.isEmpty())
        failed << escaped(report.source) + QStringLiteral(": ")
                + FileReport::describe(report.failure);
    current.clear();
    writeResult(report);
}

void BatchRunner::onDone()
{
    clearProgress();
    // Waits for the worker and ends the office process with the producers.
    engine.stop();
    engine.quit();
    if (!passedOver.isEmpty()) {
        writeLine(
            stderr,
            tr("miravel: passed over %n thumbnail(s) made by Miravel:", nullptr, passedOver.size())
                .toLocal8Bit());
        for (const QString& path : qAsConst(passedOver))
            writeLine(stderr, QFile::encodeName(escaped(path)));
    }
    if (!failed.isEmpty()) {
        writeLine(stderr,
                  tr("miravel: no thumbnails were made of %n file(s):", nullptr, failed.size())
                      .toLocal8Bit());
        for (const QString& line : qAsConst(failed))
            writeLine(stderr, QFile::encodeName(line));
    }
    if (job.update)
        writeLine(stderr, tr("miravel: Up to date: %1").arg(upToDate).toLocal8Bit());
    if (stoppedBy)
        QCoreApplication::exit(128 + stoppedBy);
    else
        QCoreApplication::exit(failed.isEmpty() ? 0 : 1);
}

void BatchRunner::onTermination(int signalNumber)
{
    if (stoppedBy) {
        // Asked again: the file in hand is not waited for. The children end with this process.
        clearProgress();
        std::_Exit(128 + signalNumber);
    }
    stoppedBy = signalNumber;
    // The file in hand finishes, so no thumbnail is left half written, unless it waits on the
    // office, which could take its whole call limit.
    engine.abort();
}

void BatchRunner::writeResult(const FileReport& report)
{
    // In text, listed at the end with the reason: a line of its own would read as a failure.
    if (!options.json && report.skipped == FileReport::OwnThumbnail)
        return;
    clearProgress();
    bool written;
    if (options.json) {
        QJsonArray thumbnails;
        for (auto it = report.pages.cbegin(); it != report.pages.cend(); ++it) {
            thumbnails.append(QJsonObject {{QStringLiteral("page"), it.key()},
                                           {QStringLiteral("path"), it.value()}});
        }
        QJsonObject line {{QStringLiteral("source"), report.source},
                          {QStringLiteral("thumbnails"), thumbnails}};
        if (report.skipped != FileReport::NotSkipped) {
            line.insert(QStringLiteral("skipped"), true);
            line.insert(QStringLiteral("reason"), FileReport::describe(report.skipped));
        } else if (report.pages.isEmpty()) {
            line.insert(QStringLiteral("error"), FileReport::describe(report.failure));
        }
        written = writeLine(stdout, QJsonDocument(line).toJson(QJsonDocument::Compact));
    } else {
        QByteArray line = QFile::encodeName(escaped(report.source));
        for (auto it = report.pages.cbegin(); it != report.pages.cend(); ++it) {
            line +=
                '\t' + QByteArray::number(it.key()) + '\t' + QFile::encodeName(escaped(it.value()));
        }
        written = writeLine(stdout, line);
    }
    if (!written && !stoppedBy)
        onTermination(SIGPIPE);
    showProgress();
}

void BatchRunner::showProgress()
{
    if (!progress)
        return;
    const qint64 elapsed = clock.elapsed();
    const QString left = done > 0 && total > done ? clockText(elapsed / done * (total - done))
                                                  : QStringLiteral("-:--");
    QString name = escaped(QFileInfo(current).fileName());
    if (name.size() > 40)
        name = name.left(37) + QStringLiteral("...");
    const QString line = tr("[%1/%2] %3  %4 elapsed, %5 left")
                             .arg(done)
                             .arg(total)
                             .arg(name, clockText(elapsed), left);
    std::fprintf(stderr, "\r\033[K%s", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

void BatchRunner::clearProgress()
{
    if (!progress)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}
