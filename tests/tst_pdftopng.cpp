#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QtTest>

#include <poppler-qt5.h>

namespace {

using Pages = QList<int>;

// Page N carries a black bar low across it, N sixteenths of the page wide; a diagonal line and
// text cross the band seams.
void writePdf(const QString& path, int pageCount, const QSizeF& points = QSizeF(144, 216))
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(points, QPageSize::Point));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::darkBlue, 1.5));
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    for (int n = 1; n <= pageCount; ++n) {
        if (n > 1)
            writer.newPage();
        painter.fillRect(QRectF(0, writer.height() * 0.58, writer.width() * n / 16.0, writer.height() * 0.23), Qt::black);
        painter.drawLine(QPointF(0, 0), QPointF(writer.width(), writer.height()));
        painter.drawText(QRectF(0, 0, writer.width(), writer.height() / 2.0), Qt::AlignCenter,
                         QStringLiteral("Page %1: band seams must not show. Bände ÿ").arg(n));
    }
}

// Runs pdftopng, given a thumbnail box, not asked for stage timings; returns its exit code (-1 if
// it crashed or hung) and its error output.
int runTool(const QStringList& args, QString* errors = nullptr, const QString& box = QString())
{
    qputenv("PDFTOPNG_BOX", box.toUtf8()); // the tool's environment
    qputenv("MIRAVEL_STAGES", "0");
    QProcess process;
    process.start(QStringLiteral(PDFTOPNG_PATH), args);
    const bool done = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    if (errors)
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return done ? process.exitCode() : -1;
}

QString imageName(const QString& root, int page)
{
    return QStringLiteral("%1-%2.png").arg(root).arg(page, 6, 10, QLatin1Char('0'));
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
    void rejectsBadInput_data();
    void rejectsBadInput();
    void keepsHugePagesInsidePixelBudget();
    void rendersPagesOfRange_data();
    void rendersPagesOfRange();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString pdf() const { return dir->filePath(QStringLiteral("doc.pdf")); }
    QString root() const { return dir->filePath(QStringLiteral("out/out")); }
    QStringList written(const QString& folder = "out") const { return QDir(dir->filePath(folder)).entryList({"*.png"}); }
};

void TestPdfToPng::rejectsBadInput_data()
{
    QTest::addColumn<QStringList>("args");       // "doc.pdf" and "*/out" stand for paths in the folder
    QTest::addColumn<QByteArray>("contents");    // null: a one-page PDF, encrypted if asked; empty: no file
    QTest::addColumn<QStringList>("encryption"); // qpdf's arguments
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    const QStringList ok = {"-f", "1", "-l", "3", "doc.pdf", "out/out"};
    const QStringList none;
    const QStringList aes = {"--encrypt", "user", "owner", "256", "--"};
    QTest::addRow("no arguments") << none << QByteArray() << none << 2 << "usage";
    QTest::addRow("one argument too many") << ok + QStringList{"out/out"} << QByteArray() << none << 2 << "usage";
    QTest::addRow("options swapped") << QStringList{"-l", "1", "-f", "1", "doc.pdf", "out/out"} << QByteArray() << none << 2 << "usage";
    QTest::addRow("first page not a number") << QStringList{"-f", "x", "-l", "1", "doc.pdf", "out/out"} << QByteArray() << none << 2 << "usage";
    QTest::addRow("last page not a number") << QStringList{"-f", "1", "-l", "1.5", "doc.pdf", "out/out"} << QByteArray() << none << 2 << "usage";
    // Exit status: 3 unreadable, 4 no PDF, 5 locked, 6 a page image not written.
    QTest::addRow("binary garbage") << ok << QByteArray(4096, '\xa7') << none << 4 << "doc.pdf";
    QTest::addRow("missing file") << ok << QByteArray("") << none << 3 << "doc.pdf";
    QTest::addRow("user password locks the file") << ok << QByteArray() << aes << 5 << "password";
    QTest::addRow("owner password alone does not") << ok << QByteArray() << QStringList{"--encrypt", "", "owner", "256", "--"} << 0 << "";
    QTest::addRow("failed write") << QStringList{"-f", "1", "-l", "3", "doc.pdf", "gone/out"} << QByteArray() << none << 6 << "cannot write";
}

void TestPdfToPng::rejectsBadInput()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, encryption);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    writePdf(pdf(), 1);
    if (!encryption.isEmpty() && QProcess::execute("qpdf", QStringList{pdf(), "--replace-input"} + encryption) != 0)
        QSKIP("qpdf is not installed; it is needed to make an encrypted PDF");
    QFile file(pdf());
    if (!contents.isNull())
        QVERIFY(contents.isEmpty() ? file.remove() : file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    args.replaceInStrings(QRegularExpression(QStringLiteral("^(doc\\.pdf|\\w+/out)$")), dir->path() + "/\\1");
    QString errors;
    QCOMPARE(runTool(args, &errors), exitCode);
    QVERIFY2(error.isEmpty() ? errors.isEmpty() : errors.contains(error), qPrintable(errors));
    QCOMPARE(written(), exitCode ? QStringList() : QStringList{"out-000001.png"});
}

void TestPdfToPng::keepsHugePagesInsidePixelBudget()
{
    writePdf(pdf(), 1, QSizeF(200 * 72, 200 * 72));
    QCOMPARE(runTool({"-f", "1", "-l", "1", pdf(), root()}), 0);
    const QImage image(imageName(root(), 1));
    const double pixels = double(image.width()) * image.height(); // at most 50 million, no waste
    QVERIFY2(pixels <= 50e6 && pixels > 0.99 * 50e6, qPrintable(QString::number(pixels)));
    QCOMPARE(image.width(), image.height());
    QCOMPARE(image.pixel(image.width() / 32, image.height() * 7 / 10), qRgb(0, 0, 0));
}

void TestPdfToPng::rendersPagesOfRange_data()
{
    QTest::addColumn<QString>("name");  // of the folder, the PDF in it and the images' root
    QTest::addColumn<QSizeF>("points"); // of each of the 12 pages
    QTest::addColumn<bool>("turned");   // the pages carry a quarter turn (/Rotate 90)
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<Pages>("expected");
    QTest::addColumn<QString>("box");   // PDFTOPNG_BOX
    QTest::addColumn<QSize>("size");    // of the images; empty: at 150 dpi
    QTest::addColumn<int>("factor");    // rendered pixels per image pixel along a side
    const QSizeF small(144, 216), a4(595, 842);
    QTest::addRow("more pages than workers") << "out" << small << false << 1 << 12 << Pages{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12} << QString() << QSize() << 1;
    QTest::addRow("range past the end") << "out" << small << false << 11 << 19 << Pages{11, 12} << QString() << QSize() << 1;
    QTest::addRow("range wholly past the end") << "out" << small << false << 13 << 19 << Pages() << QString() << QSize() << 1;
    QTest::addRow("first after last") << "out" << small << false << 3 << 2 << Pages() << QString() << QSize() << 1;
    QTest::addRow("first below one") << "out" << small << false << -4 << 2 << Pages{1, 2} << QString() << QSize() << 1;
    QTest::addRow("blanks, quotes and non-ASCII in paths") << "it's \"q\"  Ünï 日本 " << small << false << 2 << 2 << Pages{2} << QString() << QSize() << 1;
    QTest::addRow("A4") << "out" << a4 << false << 1 << 3 << Pages{1, 2, 3} << QString() << QSize() << 1;
    QTest::addRow("A4 turned") << "out" << a4 << true << 1 << 1 << Pages{1} << QString() << QSize() << 1;
    QTest::addRow("landscape strip") << "out" << QSizeF(842, 30) << false << 1 << 3 << Pages{1, 2, 3} << QString() << QSize() << 1;
    QTest::addRow("one pixel high") << "out" << QSizeF(200, 0.4) << false << 1 << 1 << Pages{1} << QString() << QSize() << 1;
    QTest::addRow("box, aspect kept, in bands") << "out" << a4 << false << 1 << 1 << Pages{1} << "300x300,keep" << QSize(300, 425) << 4;
    QTest::addRow("box, aspect kept, turned") << "out" << a4 << true << 1 << 3 << Pages{1, 2, 3} << "200x200,keep" << QSize(283, 200) << 4;
    QTest::addRow("box, three times below 150 dpi") << "out" << small << false << 1 << 1 << Pages{1} << "90x90,keep" << QSize(90, 135) << 3;
    QTest::addRow("box stretched: twice the size") << "out" << small << false << 1 << 1 << Pages{1} << "40x60,stretch" << QSize(80, 120) << 2;
    QTest::addRow("box past 150 dpi") << "out" << small << false << 1 << 1 << Pages{1} << "200x200,keep" << QSize() << 1;
    QTest::addRow("box of no aspect") << "out" << small << false << 1 << 1 << Pages{1} << "20x20" << QSize() << 1;
}

// Short ranges are cut into bands so that every core has the same share of work; each page must
// come out exactly as in a range long enough for whole pages, and as poppler-qt5 renders it.
void TestPdfToPng::rendersPagesOfRange()
{
    QFETCH(QString, name);
    QFETCH(QSizeF, points);
    QFETCH(bool, turned);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(Pages, expected);
    QFETCH(QString, box);
    QFETCH(QSize, size);
    QFETCH(int, factor);
    QVERIFY(QDir(dir->path()).mkpath(name));
    const QString base = dir->filePath(name) + QLatin1Char('/') + name;
    writePdf(base + ".pdf", 12, points);
    if (turned && QProcess::execute("qpdf", {base + ".pdf", "--replace-input", "--rotate=+90"}) != 0)
        QSKIP("qpdf is not installed; it is needed to turn the pages");
    if (turned)
        points.transpose();
    if (!expected.isEmpty()) { // an old image in the way is replaced
        QFile stale(imageName(base, expected.first()));
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("stale") == 5);
    }
    QCOMPARE(runTool({"-f", QString::number(first), "-l", QString::number(last), base + ".pdf", base}, nullptr, box), 0);
    QStringList names;
    for (int page : expected)
        names << QFileInfo(imageName(base, page)).fileName();
    QCOMPARE(written(name), names);
    const QString whole = dir->filePath(QStringLiteral("whole"));
    QCOMPARE(runTool({"-f", "1", "-l", "12", base + ".pdf", whole}, nullptr, box), 0);
    const std::unique_ptr<Poppler::Document> reference(Poppler::Document::load(base + ".pdf"));
    QVERIFY(reference);
    reference->setRenderHint(Poppler::Document::Antialiasing);
    reference->setRenderHint(Poppler::Document::TextAntialiasing);
    reference->setPaperColor(Qt::white);
    reference->setRenderHint(Poppler::Document::ThinLineShape, !size.isEmpty());
    const QSizeF dpi = size.isEmpty() ? QSizeF(150, 150) : QSizeF(72.0 * size.width() * factor / points.width(), 72.0 * size.height() * factor / points.height());
    size = size.isEmpty() ? (points * 150 / 72).toSize().expandedTo(QSize(1, 1)) : size;
    for (int page : expected) {
        const QImage image(imageName(base, page));
        QCOMPARE(image.size(), size);
        QCOMPARE(image, QImage(imageName(whole, page)));
        const QImage paper = std::unique_ptr<Poppler::Page>(reference->page(page - 1))
                                 ->renderToImage(dpi.width(), dpi.height(), 0, 0, size.width() * factor, size.height() * factor)
                                 .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage a = image.convertToFormat(QImage::Format_ARGB32);
        const QImage b = paper.convertToFormat(QImage::Format_ARGB32);
        int largest = 0; // difference of one channel, alpha included
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width() * 4; ++x)
                largest = qMax(largest, qAbs(a.constScanLine(y)[x] - b.constScanLine(y)[x]));
        QVERIFY2(largest <= 2, qPrintable(QString::number(largest)));
    }
}

QTEST_MAIN(TestPdfToPng)
#include "tst_pdftopng.moc"
