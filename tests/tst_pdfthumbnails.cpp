#include "TestSupport.h"
#include "producers/PDFThumbnailer.h"
#include "producers/TextThumbnailer.h"
#include "engine/ThumbEngine.h"

#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <poppler-qt5.h>

#include <csignal>
#include <sys/stat.h>

// PDF rendering through pdftopng, and the PDF and text producers.
class TestPdfThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(QStringLiteral("miravel.stages.info=true")); // stage timings
        // Page N carries a black bar N/16 of the page wide across its middle.
        fivePages = dir.filePath(QString::fromUtf8("-l 9 \"q\" $(touch pwned);Übersicht.pdf"));
        QPdfWriter writer(fivePages);
        writer.setResolution(72);
        writer.setPageSize(QPageSize(QSizeF(200, 200), QPageSize::Point));
        writer.setPageMargins(QMarginsF());
        QPainter painter(&writer);
        for (int n = 1; n <= 5; ++n) {
            if (n > 1)
                writer.newPage();
            painter.fillRect(0, writer.height() * 2 / 5, writer.width() * n / 16, writer.height() / 5, Qt::black);
        }
        QVERIFY(painter.end());
    }
    void init()
    {
        out = dir.filePath(QStringLiteral("%1/%2").arg(QTest::currentTestFunction(), QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(out));
    }
    void pageRange_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("nameFormat");
        QTest::addColumn<QList<qint32>>("pages");
        QTest::addRow("past the end") << 4 << 9 << "[NAME]_[PAGE]" << QList<qint32>{4, 5};
        QTest::addRow("entirely past the end") << 7 << 9 << "[NAME]_[PAGE]" << QList<qint32>{};
        // Every page is reported; they overwrite each other in page order.
        QTest::addRow("one name for all pages, the last stays") << 1 << 4 << "[NAME]" << QList<qint32>{1, 2, 3, 4};
    }
    void pageRange()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QString, nameFormat);
        QFETCH(QList<qint32>, pages);
        // Left over by an earlier run: must not pass for a page.
        QVERIFY(QImage(10, 10, QImage::Format_RGB32).save(Thumbnailer::workArea() + QStringLiteral("x.png")));
        PDFThumbnailer renderer;
        renderer.setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
        renderer.setSettings(settings(first, last, nameFormat));
        QFile file(fivePages);
        LogCapture log;
        const Thumbnailer::tThumbnailPages result = renderer.generate(file);
        QCOMPARE(result.keys(), pages);
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
        const QString base = out + QLatin1Char('/') + QFileInfo(fivePages).completeBaseName();
        for (auto it = result.cbegin(); it != result.cend(); ++it) {
            const bool shared = !nameFormat.contains(QLatin1String("[PAGE]"));
            QCOMPARE(it.value(), base + (shared ? QString() : QStringLiteral("_%1").arg(it.key())) + ".png");
            const QImage thumbnail(it.value());
            QCOMPARE(thumbnail.width(), 100);
            int dark = 0; // the page's bar across the middle
            for (int x = 0; x < thumbnail.width(); ++x)
                dark += qGray(thumbnail.pixel(x, thumbnail.height() / 2)) < 128;
            QCOMPARE(qRound(16.0 * dark / thumbnail.width()), shared ? pages.last() : it.key());
        }
        QCOMPARE(log.lines().filter(QRegularExpression(QStringLiteral("^render \\d+\\.\\d .*\\.pdf$"))).size(), 1);
        QCOMPARE(log.errors().size(), pages.isEmpty() ? 3 : 0);
        if (pages.isEmpty())
            QVERIFY(log.errors().first().contains(QStringLiteral("  tempPages.count() == 0  ")));
    }
    // Small text, hairlines and a photo, rendered at thumbnail size and at 150 dpi, both scaled
    // by saveThumbnail: against the page drawn at 300 dpi and scaled smoothly, the first may be
    // at most one level a channel further off on average.
    void qualityAtThumbnailSize_data()
    {
        QTest::addColumn<QSize>("box");
        QTest::addColumn<bool>("keep");
        QTest::addRow("aspect kept") << QSize(200, 200) << true;
        QTest::addRow("small, aspect kept") << QSize(100, 100) << true;
        QTest::addRow("stretched") << QSize(200, 200) << false;
    }
    void qualityAtThumbnailSize()
    {
        QFETCH(QSize, box);
        QFETCH(bool, keep);
        const QString pdf = dir.filePath(QStringLiteral("quality.pdf")), page = dir.filePath(QStringLiteral("at150"));
        QPdfWriter writer(pdf); // A4
        writer.setResolution(72);
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::Antialiasing); // else lines are at least a point wide
        painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 7));
        painter.drawText(QRectF(0, 0, 520, 250), Qt::TextWordWrap, QStringLiteral("The harbour light measured across the valley. ").repeated(60));
        painter.setPen(QPen(Qt::black, 0.3));
        for (int i = 0; i < 82; ++i) // one stroke a line, across and down
            painter.drawLine(i % 2 ? QLineF(i / 2 * 13, 270, i / 2 * 13, 430) : QLineF(0, 270 + i / 2 * 4, 520, 270 + i / 2 * 4));
        QImage photo(1000, 460, QImage::Format_RGB32); // smooth fields with grain
        for (int i = 0; i < 1000 * 460; ++i)
            photo.setPixel(i % 1000, i / 1000, qRgb(128 + 100 * std::sin(i % 1000 / 140.0 + 3 * std::cos(i / 90000.0)) + i % 7, i / 2000 + i % 5, 250 - i % 1000 / 5 + i / 1000 % 9));
        painter.drawImage(QRectF(0, 450, 520, 240), photo);
        QVERIFY(painter.end());
        PDFThumbnailer renderer;
        renderer.setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
        ThumbSettings s = settings(1, 1);
        s.width = box.width(), s.height = box.height(), s.keepAspectRatio = keep;
        renderer.setSettings(s);
        QFile file(pdf);
        const QImage thumbnail(renderer.generate(file).value(1));
        QCOMPARE(QProcess::execute(QStringLiteral(PDFTOPNG_PATH), {"-f", "1", "-l", "1", pdf, page}), 0);
        QVERIFY(renderer.saveThumbnail(page + "-000001.png", page + ".png", ThumbSettings::OutPng));
        const std::unique_ptr<Poppler::Document> document(Poppler::Document::load(pdf));
        document->setRenderHint(Poppler::Document::Antialiasing);
        document->setRenderHint(Poppler::Document::TextAntialiasing);
        const QImage at300 = std::unique_ptr<Poppler::Page>(document->page(0))->renderToImage(300, 300);
        const auto offBy = [&at300](const QImage& image) { // mean absolute difference a channel
            const QImage a = image.convertToFormat(QImage::Format_RGB32), b = at300.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
            double sum = 0; // the fourth byte is 0xff in both
            for (qsizetype i = 0; i < a.sizeInBytes(); ++i)
                sum += qAbs(a.constBits()[i] - b.constBits()[i]);
            return sum / (3.0 * a.width() * a.height());
        };
        const double now = offBy(thumbnail), before = offBy(QImage(page + ".png"));
        qInfo("%s: %.3f at thumbnail size, %.3f at 150 dpi", QTest::currentDataTag(), now, before);
        const QSize cover = QSizeF(595, 842).scaled(box, Qt::KeepAspectRatioByExpanding).toSize();
        QCOMPARE(thumbnail.size(), keep ? cover : box);
        QCOMPARE(QImage(Thumbnailer::workArea() + "out-000001.png").size(), keep ? cover : cover * 2); // stretched: more to squeeze
        QVERIFY(now <= before + 1);
    }
    // Through the engine: why a PDF gave nothing, as found by pdftopng and the saving; a tool that
    // hangs is ended with its children, and the next file goes through.
    void failureReasons_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: the five-page PDF
        QTest::addColumn<QString>("tool");        // a script's body (with a blank) instead of pdftopng; "-" none
        QTest::addColumn<int>("first");           // of a one-page range
        QTest::addColumn<QString>("blocked");     // made a folder: {work} the work area, {out} the output folder
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("logged");      // the first error line holds it
        // Writes a page before it hangs, with a child: a tool that timed out failed.
        const QString hang = "cp '{out}page.png' \"$6-000001.png\"\nsleep 1000 &\necho $$ $! > '{out}pids'\nwait";
        QTest::addRow("not a PDF") << QByteArray("not a PDF at all") << "" << 1 << "" << int(FileReport::Damaged) << "  tempPages.count\\(\\) == 0  ";
        QTest::addRow("password-protected") << QByteArray() << "qpdf" << 1 << "" << int(FileReport::PasswordProtected) << "";
        QTest::addRow("no page in the range") << QByteArray() << "" << 7 << "" << int(FileReport::NoPagesInRange) << "";
        QTest::addRow("renderer missing") << QByteArray() << "-" << 1 << "" << int(FileReport::RendererUnavailable) << "Thumbnailer::executePdf2Png  CreateProcess .*-f 1 -l 1 ";
        QTest::addRow("renderer hangs") << QByteArray() << hang << 1 << "" << int(FileReport::TimedOut) << "time-out";
        QTest::addRow("renderer fails") << QByteArray() << "exit 1" << 1 << "" << int(FileReport::RenderFailed) << "";
        QTest::addRow("renderer cannot read it") << QByteArray() << "exit 3" << 1 << "" << int(FileReport::NotReadable) << "";
        QTest::addRow("page image cannot be written") << QByteArray() << "" << 1 << "{work}out-000001.png.part" << int(FileReport::WorkAreaFailed) << "";
        QTest::addRow("thumbnail cannot be written") << QByteArray() << "" << 1 << "{out}doc_1.png" << int(FileReport::CannotWrite) << " saveImage ";
    }
    void failureReasons()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, tool);
        QFETCH(int, first);
        QFETCH(QString, blocked);
        QFETCH(int, failure);
        QFETCH(QString, logged);
        const QString pdf = out + QStringLiteral("/doc.pdf"), script = out + QStringLiteral("/tool.sh");
        QVERIFY(contents.isNull() ? QFile::copy(fivePages, pdf) : !writeFile(pdf, contents).isEmpty());
        if (tool == "qpdf" && QProcess::execute("qpdf", {pdf, "--replace-input", "--encrypt", "user", "owner", "256", "--"}) != 0)
            QSKIP("qpdf is not installed; it is needed to make an encrypted PDF");
        const bool scripted = tool.contains(' ');
        QVERIFY(!scripted || (!writeFile(script, "#!/bin/sh\n" + tool.replace("{out}", out + '/').toUtf8()).isEmpty() && QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner)));
        QVERIFY(QImage(10, 10, QImage::Format_RGB32).save(out + QStringLiteral("/page.png")));
        blocked.replace("{work}", Thumbnailer::workArea()).replace("{out}", out + '/');
        QVERIFY(blocked.isEmpty() || QDir().mkpath(blocked));
        auto* producer = new PDFThumbnailer;
        producer->setChildTimeoutMs(tool.contains("sleep") ? 300 : 0);
        ThumbEngine engine({{Pdf, producer}});
        engine.setPdf2PngPath(scripted ? script : QStringLiteral(PDFTOPNG_PATH) + (tool == "-" ? "-gone" : ""));
        QSignalSpy reports(&engine, &ThumbEngine::sigFileDone);
        engine.start();
        LogCapture log;
        engine.startJob(ThumbJob{{{Pdf, settings(first, first)}}, {"pdf"}, {pdf}, false});
        QVERIFY(reports.wait(30000));
        QCOMPARE(int(reports.first().first().value<FileReport>().failure), failure);
        QVERIFY2(log.errors().first().contains(QRegularExpression(logged)), qPrintable(log.errors().first()));
        QFile pids(out + QStringLiteral("/pids"));
        const QList<QByteArray> ids = pids.open(QIODevice::ReadOnly) ? pids.readAll().simplified().split(' ') : QList<QByteArray>();
        QCOMPARE(ids.size(), tool.contains("sleep") ? 2 : 0); // the tool and its child
        for (const QByteArray& id : ids)
            QTRY_VERIFY_WITH_TIMEOUT(::kill(id.toInt(), 0) != 0, 5000);
        QVERIFY(blocked.isEmpty() || QDir(blocked).removeRecursively());
        producer->setChildTimeoutMs(0);
        engine.setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
        engine.startJob(ThumbJob{{{Pdf, settings(1, 1)}}, {"pdf"}, {fivePages}, false});
        QVERIFY(reports.wait(30000));
        QCOMPARE(reports.last().first().value<FileReport>().pages.keys(), QList<qint32>{1});
    }
    void textThumbnail_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expectedText"); // on the PDF's first page; Qt's encoders add a mark
        QTest::addColumn<QString>("absentText");
        const QString letters = QString::fromUtf8("Größe Ærø ζωή");
        QTest::addRow("non-ASCII letters, odd suffix") << "notes.v2.1ST" << letters.toUtf8() << letters << QString();
        QTest::addRow("utf-8 with mark") << "bom8.txt" << QByteArray("\xef\xbb\xbf") + letters.toUtf8() << letters << QString();
        QTest::addRow("utf-16be with mark") << "bom16.txt" << QTextCodec::codecForName("UTF-16BE")->fromUnicode(letters) << letters << QString();
        QTest::addRow("utf-16 without mark stops at its first zero") << "u16.txt" << QByteArray("a\0b\0", 4) << "a" << "b";
        QTest::addRow("zero byte ends the text") << "zero.txt" << QByteArray("before\0after", 12) << "before" << "after";
        QTest::addRow("empty file") << "empty.log" << QByteArray() << QString() << QString();
        QTest::addRow("long file, first page only") << "long.csv" << "line 1\n" + QByteArray("line\n").repeated(498) + "line 500\n" << "line 1" << "line 500";
        // 32 MiB: only its beginning is read.
        QTest::addRow("huge file") << "huge.log" << QByteArray("the opening words of a very long log\n").repeated(1 << 20) << "the opening words" << QString();
    }
    void textThumbnail()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expectedText);
        QFETCH(QString, absentText);
        const QString path = writeFile(dir.filePath(name), bytes);
        QCOMPARE(TextThumbnailer::decodeText(bytes).left(expectedText.size()), expectedText); // no mark left
        TextThumbnailer producer;
        producer.prepare();
        producer.setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
        producer.setSettings(settings(1, 1));
        QFile file(path);
        const Thumbnailer::tThumbnailPages result = producer.generate(file);
        QCOMPARE(result.keys(), QList<qint32>{1});
        // Named after the text file, not after the intermediate PDF.
        QCOMPARE(result.value(1), out + QLatin1Char('/') + QFileInfo(path).completeBaseName() + QStringLiteral("_1.png"));
        QVERIFY(!QImage(result.value(1)).isNull());
        const QString pdf = Thumbnailer::workArea() + QFileInfo(path).completeBaseName() + QStringLiteral(".pdf");
        const std::unique_ptr<Poppler::Document> document(Poppler::Document::load(pdf));
        QVERIFY(document && document->numPages() > 0);
        const QString text = std::unique_ptr<Poppler::Page>(document->page(0))->text(QRectF());
        QVERIFY2(text.simplified().contains(expectedText), qPrintable(text.left(200)));
        QVERIFY(absentText.isEmpty() || !text.contains(absentText));
        QVERIFY(QFileInfo(pdf).size() < 1024 * 1024);
    }
    void mixedJobEndToEnd()
    {
        const QString folder = dir.filePath(QStringLiteral("mixed"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
        QVERIFY(QImage(QSize(300, 200), QImage::Format_RGB32).save(folder + QStringLiteral("/photo.jpg")));
        QVERIFY(QFile::copy(fivePages, folder + QStringLiteral("/sub/doc.PDF")));
        QVERIFY(!writeFile(dir.filePath(QStringLiteral("mixed/notes.txt")), "some notes").isEmpty());
        // Opening a FIFO would block the worker.
        QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/fifo.jpg")).constData(), 0600), 0);
        ThumbEngine engine;
        engine.setPdf2PngPath(QStringLiteral(PDFTOPNG_PATH));
        QList<ThumbEngine::ThumbnailFiles> generated;
        QSignalSpy done(&engine, &ThumbEngine::sigDone);
        connect(&engine, &ThumbEngine::sigGenerated, this, [&](const ThumbEngine::ThumbnailFiles& f) { generated << f; });
        engine.start();
        ThumbJob job;
        job.paths = QStringList{folder};
        job.recursive = true;
        job.extensions = QStringList{"jpg", "pdf", "txt"};
        for (qint32 family = Excel; family <= Text; ++family)
            job.settings.insert(family, settings(1, family == Pdf ? 2 : 1));
        engine.startJob(job);
        QVERIFY(done.wait(30000));
        QMap<QString, int> counts;
        for (const auto& files : qAsConst(generated))
            counts.insert(QFileInfo(files.firstKey()).fileName(), files.first().size());
        QCOMPARE(counts, (QMap<QString, int>{{"photo.jpg", 1}, {"doc.PDF", 2}, {"notes.txt", 1}}));
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 4);
        // Each job gives its names afresh: of two sources of one name, the first reached has it.
        const QString photo = folder + QStringLiteral("/photo.jpg"), twin = writeFile(dir.filePath(QStringLiteral("photo.txt")), "text");
        for (const QStringList& paths : {QStringList{photo, twin}, QStringList{twin, photo}}) {
            generated.clear();
            job.paths = paths;
            engine.startJob(job);
            QVERIFY(done.wait(30000));
            QCOMPARE(generated.value(0).value(paths.first()), QSet<QString>{QDir(out).filePath(QStringLiteral("photo_1.png"))});
        }
        engine.quit();
    }

private:
    ThumbSettings settings(int first, int last, const QString& nameFormat = "[NAME]_[PAGE]") const
    {
        ThumbSettings s;
        s.width = s.height = 100;
        s.pageStart = first;
        s.pageEnd = last;
        s.nameFormat = nameFormat;
        s.setOutputFolder(out);
        return s;
    }

    QTemporaryDir dir;
    QString out;
    QString fivePages; // named with blanks, quotes, shell syntax, a leading dash and umlauts
};

QTEST_MAIN(TestPdfThumbnails)
#include "tst_pdfthumbnails.moc"
