#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QtTest>

#include <poppler-qt5.h>

namespace {

// Page N carries a black bar across the middle, N sixteenths of the page wide, so an image
// tells which page it shows at any resolution.
constexpr int kBarSteps = 16;

using Pages = QList<int>;

void writePdf(const QString& path, int pageCount, const QPageSize& size = QPageSize(QSizeF(144, 216), QPageSize::Point))
{
    QPdfWriter writer(path);
    writer.setPageSize(size);
    writer.setPageMargins(QMarginsF());
    writer.setResolution(72);
    QPainter painter(&writer);
    for (int n = 1; n <= pageCount; ++n) {
        if (n > 1)
            writer.newPage();
        painter.fillRect(0, writer.height() * 2 / 5, writer.width() * n / kBarSteps, writer.height() / 5, Qt::black);
    }
}

int pageShownBy(const QImage& image)
{
    int dark = 0;
    for (int x = 0; x < image.width(); ++x)
        dark += qGray(image.pixel(x, image.height() / 2)) < 128;
    return qRound(double(dark) * kBarSteps / image.width());
}

// Runs pdftopng; returns its exit code (-1 if it crashed or hung) and its error output.
int runTool(const QStringList& args, QString* errors = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(PDFTOPNG_PATH), args);
    const bool done = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    if (errors)
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return done ? process.exitCode() : -1;
}

int render(const QString& pdf, const QString& root, int first, int last, QString* errors = nullptr)
{
    return runTool({"-f", QString::number(first), "-l", QString::number(last), pdf, root}, errors);
}

// Runs qpdf; false when it is missing or fails.
bool qpdf(const QStringList& args)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    return !program.isEmpty() && QProcess::execute(program, args) == 0;
}

QString imageName(const QString& root, int page)
{
    return QStringLiteral("%1-%2.png").arg(root).arg(page, 6, 10, QLatin1Char('0'));
}

// The largest difference of one colour channel between two images of one size.
int largestDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)),
                                qAbs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

} // namespace

class TestPdfToPng : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("out")));
    }
    void rejectsMalformedArguments_data();
    void rejectsMalformedArguments();
    void writesPagesOfRange_data();
    void writesPagesOfRange();
    void rejectsUnreadableFiles_data();
    void rejectsUnreadableFiles();
    void keepsHugePagesInsidePixelBudget();
    void rendersBandsAsWholePages_data();
    void rendersBandsAsWholePages();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString pdf() const { return dir->filePath(QStringLiteral("doc.pdf")); }
    QString root() const { return dir->filePath(QStringLiteral("out/out")); }
    QStringList written(const QString& folder = "out") const { return QDir(dir->filePath(folder)).entryList({"*.png"}); }
};

void TestPdfToPng::rejectsMalformedArguments_data()
{
    QTest::addColumn<QStringList>("args"); // "doc.pdf" and "out" stand for the real paths
    QTest::addRow("no arguments") << QStringList();
    QTest::addRow("one argument too many") << QStringList{"-f", "1", "-l", "1", "doc.pdf", "out", "out"};
    QTest::addRow("options swapped") << QStringList{"-l", "1", "-f", "1", "doc.pdf", "out"};
    QTest::addRow("first page not a number") << QStringList{"-f", "x", "-l", "1", "doc.pdf", "out"};
    QTest::addRow("last page not a number") << QStringList{"-f", "1", "-l", "1.5", "doc.pdf", "out"};
}

void TestPdfToPng::rejectsMalformedArguments()
{
    QFETCH(QStringList, args);
    writePdf(pdf(), 1);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^doc\\.pdf$")), pdf());
    args.replaceInStrings(QRegularExpression(QStringLiteral("^out$")), root());
    QString errors;
    QCOMPARE(runTool(args, &errors), 2);
    QVERIFY2(errors.contains(QLatin1String("usage")), qPrintable(errors));
    QCOMPARE(written(), QStringList());
}

void TestPdfToPng::writesPagesOfRange_data()
{
    QTest::addColumn<QString>("name"); // of the folder, the PDF in it and the images' root
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<Pages>("expected");
    QTest::addRow("single page") << "out" << 3 << 2 << 2 << Pages{2};
    QTest::addRow("more pages than workers") << "out" << 12 << 1 << 12 << Pages{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    QTest::addRow("range past the end") << "out" << 3 << 2 << 9 << Pages{2, 3};
    QTest::addRow("range wholly past the end") << "out" << 3 << 4 << 7 << Pages();
    QTest::addRow("first after last") << "out" << 3 << 3 << 2 << Pages();
    QTest::addRow("first below one") << "out" << 3 << -4 << 2 << Pages{1, 2};
    QTest::addRow("blanks, quotes and non-ASCII in paths") << "it's \"q\"  Ünï 日本 " << 2 << 2 << 2 << Pages{2};
}

void TestPdfToPng::writesPagesOfRange()
{
    QFETCH(QString, name);
    QFETCH(int, pageCount);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(Pages, expected);
    QVERIFY(QDir(dir->path()).mkpath(name));
    const QString base = dir->filePath(name) + QLatin1Char('/') + name;
    writePdf(base + QLatin1String(".pdf"), pageCount);
    if (!expected.isEmpty()) { // an old image in the way is replaced
        QFile stale(imageName(base, expected.first()));
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("stale") == 5);
    }
    QCOMPARE(render(base + QLatin1String(".pdf"), base, first, last), 0);
    QStringList names;
    for (int page : expected)
        names << QFileInfo(imageName(base, page)).fileName();
    QCOMPARE(written(name), names);
    for (int page : expected) {
        const QImage image(imageName(base, page));
        QCOMPARE(image.size(), QSize(300, 450)); // 2 x 3 inches at 150 dpi
        QCOMPARE(pageShownBy(image), page);
        QCOMPARE(image.pixel(image.width() - 10, 10), qRgb(255, 255, 255));
    }
}

void TestPdfToPng::rejectsUnreadableFiles_data()
{
    QTest::addColumn<QByteArray>("contents");   // null: a one-page PDF, encrypted if asked; empty: no file
    QTest::addColumn<QStringList>("encryption"); // qpdf's arguments
    QTest::addColumn<QString>("rootFolder");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    const QStringList aes = {"--encrypt", "user", "owner", "256", "--"};
    QTest::addRow("binary garbage") << QByteArray(4096, '\xa7') << QStringList() << "out" << 1 << "doc.pdf";
    QTest::addRow("missing file") << QByteArray("") << QStringList() << "out" << 1 << "doc.pdf";
    QTest::addRow("user password locks the file") << QByteArray() << aes << "out" << 1 << "password";
    QTest::addRow("owner password alone does not")
        << QByteArray() << QStringList{"--encrypt", "", "owner", "256", "--"} << "out" << 0 << "";
    QTest::addRow("failed write") << QByteArray() << QStringList() << "gone" << 1 << "cannot write";
}

void TestPdfToPng::rejectsUnreadableFiles()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, encryption);
    QFETCH(QString, rootFolder);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    const QString plain = dir->filePath(QStringLiteral("plain.pdf"));
    if (contents.isNull()) {
        writePdf(encryption.isEmpty() ? pdf() : plain, 1);
        if (!encryption.isEmpty() && !qpdf(QStringList{plain} + encryption + QStringList{pdf()}))
            QSKIP("qpdf is not installed; it is needed to make an encrypted PDF");
    } else if (!contents.isEmpty()) {
        QFile file(pdf());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    }
    QString errors;
    QCOMPARE(render(pdf(), dir->filePath(rootFolder + QStringLiteral("/out")), 1, 3, &errors), exitCode);
    QVERIFY2(errors.contains(error), qPrintable(errors));
    QCOMPARE(written(), exitCode ? QStringList() : QStringList{"out-000001.png"});
}

void TestPdfToPng::keepsHugePagesInsidePixelBudget()
{
    writePdf(pdf(), 1, QPageSize(QSizeF(200, 200), QPageSize::Inch));
    QCOMPARE(render(pdf(), root(), 1, 1), 0);
    const QImage image(imageName(root(), 1));
    const double pixels = double(image.width()) * image.height(); // at most 50 million, no waste
    QVERIFY2(pixels <= 50e6 && pixels > 0.99 * 50e6, qPrintable(QString::number(pixels)));
    QCOMPARE(image.width(), image.height());
    QCOMPARE(pageShownBy(image), 1);
}

void TestPdfToPng::rendersBandsAsWholePages_data()
{
    QTest::addColumn<QSizeF>("points"); // of each page
    QTest::addColumn<bool>("turned");   // the pages carry a quarter turn (/Rotate 90)
    QTest::addRow("A4") << QSizeF(595, 842) << false;
    QTest::addRow("A4 turned") << QSizeF(595, 842) << true;
    QTest::addRow("landscape strip") << QSizeF(842, 30) << false;
    QTest::addRow("one pixel high") << QSizeF(200, 0.4) << false;
}

// Short ranges are cut into bands so that every core has the same share of work; each page
// must come out exactly as it does in a range long enough to be rendered in whole pages, and
// as poppler-qt5 renders it.
void TestPdfToPng::rendersBandsAsWholePages()
{
    QFETCH(QSizeF, points);
    QFETCH(bool, turned);
    const int pageCount = 2 * qMax(2, QThread::idealThreadCount());
    const QString upright = dir->filePath(QStringLiteral("upright.pdf"));
    {
        QPdfWriter writer(upright);
        writer.setPageSize(QPageSize(points, QPageSize::Point));
        writer.setPageMargins(QMarginsF());
        writer.setResolution(72);
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int n = 1; n <= pageCount; ++n) {
            if (n > 1)
                writer.newPage();
            painter.fillRect(QRectF(0, 0, writer.width() / 3.0, writer.height() / 3.0), QColor(230, 120, 20));
            painter.setPen(QPen(Qt::darkBlue, 1.5));
            painter.drawLine(QPointF(0, 0), QPointF(writer.width(), writer.height()));
            painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
            painter.drawText(QRectF(0, 0, writer.width(), writer.height()), Qt::AlignCenter,
                             QStringLiteral("Page %1: band seams must not show. Bände ÿ").arg(n));
        }
    }
    if (turned) {
        if (!qpdf({upright, "--rotate=+90", pdf()}))
            QSKIP("qpdf is not installed; it is needed to turn the pages");
        points.transpose();
    } else {
        QVERIFY(QFile::rename(upright, pdf()));
    }
    const QString whole = dir->filePath(QStringLiteral("whole"));
    QCOMPARE(render(pdf(), whole, 1, pageCount), 0);
    const std::unique_ptr<Poppler::Document> reference(Poppler::Document::load(pdf()));
    QVERIFY(reference);
    reference->setRenderHint(Poppler::Document::Antialiasing);
    reference->setRenderHint(Poppler::Document::TextAntialiasing);
    reference->setPaperColor(Qt::white);
    for (int page = 1; page <= pageCount; ++page) {
        const QImage image(imageName(whole, page));
        const QImage expected = std::unique_ptr<Poppler::Page>(reference->page(page - 1))
                                    ->renderToImage(150, 150, 0, 0, image.width(), image.height());
        QVERIFY2(largestDifference(image, expected) <= 2, qPrintable(QString::number(largestDifference(image, expected))));
    }
    for (int last : {1, 3}) {
        const QString banded = dir->filePath(QStringLiteral("banded%1").arg(last));
        QCOMPARE(render(pdf(), banded, 1, last), 0);
        for (int page = 1; page <= last; ++page) {
            const QImage image(imageName(banded, page));
            QVERIFY(!image.isNull());
            QCOMPARE(image.height(), qMax(1, qRound(points.height() * 150 / 72)));
            QCOMPARE(image, QImage(imageName(whole, page)));
        }
    }
}

QTEST_MAIN(TestPdfToPng)
#include "tst_pdftopng.moc"
