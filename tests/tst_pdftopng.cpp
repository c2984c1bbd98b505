#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Page N of a test document carries a black bar across the middle, N sixteenths of the page
// wide, so a rendered image tells which page it shows at any resolution.
constexpr int kBarSteps = 16;
// The most pixels pdftopng gives one page image.
constexpr double kMaxPixels = 50e6;

using Pages = QList<int>;

void writePdf(const QString& path, int pageCount, const QPageSize& size = QPageSize(QPageSize::A4))
{
    QPdfWriter writer(path);
    writer.setPageSize(size);
    writer.setPageMargins(QMarginsF());
    writer.setResolution(72);
    QPainter painter(&writer);
    for (int n = 1; n <= pageCount; ++n) {
        if (n > 1)
            writer.newPage();
        const int h = writer.height();
        painter.fillRect(QRect(0, h * 2 / 5, writer.width() * n / kBarSteps, h / 5), Qt::black);
    }
}

int pageShownBy(const QImage& image)
{
    const int y = image.height() / 2;
    int dark = 0;
    for (int x = 0; x < image.width(); ++x)
        dark += qGray(image.pixel(x, y)) < 128;
    return qRound(double(dark) * kBarSteps / image.width());
}

struct Run
{
    bool finished = false;
    int exitCode = -1;
    QString errors;
};

Run runTool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(PDFTOPNG_PATH), args);
    Run run;
    run.finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

Run renderPages(const QString& pdf, const QString& root, int first, int last)
{
    return runTool({QStringLiteral("-f"), QString::number(first), QStringLiteral("-l"),
                    QString::number(last), pdf, root});
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestPdfToPng : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void rejectsMalformedArguments_data();
    void rejectsMalformedArguments();
    void writesPagesOfRange_data();
    void writesPagesOfRange();
    void rejectsUnreadableFiles_data();
    void rejectsUnreadableFiles();
    void honoursPasswords_data();
    void honoursPasswords();
    void keepsHugePagesInsidePixelBudget();
    void acceptsUnusualPaths_data();
    void acceptsUnusualPaths();
    void replacesExistingImages();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString in(const QString& name) const { return dir->filePath(QStringLiteral("in/") + name); }
    QString outFolder() const { return dir->filePath(QStringLiteral("out")); }
    QString outRoot() const { return dir->filePath(QStringLiteral("out/out")); }
};

void TestPdfToPng::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("in")));
    QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("out")));
}

void TestPdfToPng::rejectsMalformedArguments_data()
{
    QTest::addColumn<QStringList>("args");
    const QString pdf = QStringLiteral("doc.pdf");
    const QString root = QStringLiteral("out");
    const QString f = QStringLiteral("-f");
    const QString l = QStringLiteral("-l");
    const QString one = QStringLiteral("1");
    QTest::addRow("no arguments") << QStringList();
    QTest::addRow("root missing") << QStringList{f, one, l, one, pdf};
    QTest::addRow("one argument too many") << QStringList{f, one, l, one, pdf, root, root};
    QTest::addRow("options swapped") << QStringList{l, one, f, one, pdf, root};
    QTest::addRow("unknown option") << QStringList{QStringLiteral("-r"), one, l, one, pdf, root};
    QTest::addRow("first page not a number") << QStringList{f, QStringLiteral("x"), l, one, pdf, root};
    QTest::addRow("last page not a number") << QStringList{f, one, l, QStringLiteral("1.5"), pdf, root};
}

void TestPdfToPng::rejectsMalformedArguments()
{
    QFETCH(QStringList, args);
    writePdf(in(QStringLiteral("doc.pdf")), 1);
    for (QString& arg : args) {
        if (arg == QLatin1String("doc.pdf"))
            arg = in(arg);
        else if (arg == QLatin1String("out"))
            arg = outRoot();
    }

    const Run run = runTool(args);

    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(QLatin1String("usage")), qPrintable(run.errors));
    QCOMPARE(filesIn(outFolder()), QStringList());
}

void TestPdfToPng::writesPagesOfRange_data()
{
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<Pages>("expected");
    QTest::addRow("single page") << 3 << 2 << 2 << Pages{2};
    QTest::addRow("whole document") << 3 << 1 << 3 << Pages{1, 2, 3};
    QTest::addRow("more pages than workers") << 12 << 1 << 12
                                             << Pages{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    QTest::addRow("range past the end") << 3 << 2 << 9 << Pages{2, 3};
    QTest::addRow("range wholly past the end") << 3 << 4 << 7 << Pages();
    QTest::addRow("first after last") << 3 << 3 << 2 << Pages();
    QTest::addRow("first below one") << 3 << -4 << 2 << Pages{1, 2};
}

void TestPdfToPng::writesPagesOfRange()
{
    QFETCH(int, pageCount);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(Pages, expected);
    const QString pdf = in(QStringLiteral("doc.pdf"));
    writePdf(pdf, pageCount);

    const Run run = renderPages(pdf, outRoot(), first, last);

    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QStringList names;
    for (int page : expected)
        names << QStringLiteral("out-%1.png").arg(page, 6, 10, QLatin1Char('0'));
    QCOMPARE(filesIn(outFolder()), names);
    for (int page : expected) {
        const QImage image(QStringLiteral("%1-%2.png").arg(outRoot()).arg(page, 6, 10, QLatin1Char('0')));
        // A4 at 150 dpi is 1240.2 x 1753.9 pixels.
        QVERIFY(qAbs(image.width() - 1240) <= 1);
        QVERIFY(qAbs(image.height() - 1754) <= 1);
        QCOMPARE(pageShownBy(image), page);
        QCOMPARE(image.pixel(image.width() - 10, 10), qRgb(255, 255, 255));
    }
}

void TestPdfToPng::rejectsUnreadableFiles_data()
{
    QTest::addColumn<QByteArray>("contents");
    QByteArray noise;
    for (int i = 0; i < 4096; ++i)
        noise.append(char((i * 7919 + 13) % 256));
    QTest::addRow("random bytes") << noise;
    QTest::addRow("empty file") << QByteArray("");
    QTest::addRow("text file") << QByteArray("Not a PDF at all.\n");
    QTest::addRow("missing file") << QByteArray(); // null: no file is made
}

void TestPdfToPng::rejectsUnreadableFiles()
{
    QFETCH(QByteArray, contents);
    const QString pdf = in(QStringLiteral("doc.pdf"));
    if (!contents.isNull()) {
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    const Run run = renderPages(pdf, outRoot(), 1, 3);

    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.errors.contains(pdf));
    QCOMPARE(filesIn(outFolder()), QStringList());
}

void TestPdfToPng::honoursPasswords_data()
{
    QTest::addColumn<QString>("userPassword");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("written");
    QTest::addRow("user password locks the file") << QStringLiteral("user") << 1 << QStringList();
    QTest::addRow("owner password alone does not")
        << QString() << 0 << QStringList{QStringLiteral("out-000001.png")};
}

void TestPdfToPng::honoursPasswords()
{
    QFETCH(QString, userPassword);
    QFETCH(int, exitCode);
    QFETCH(QStringList, written);
    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    if (qpdf.isEmpty())
        QSKIP("qpdf is not installed; it is needed to make an encrypted PDF");
    const QString plain = in(QStringLiteral("plain.pdf"));
    const QString encrypted = in(QStringLiteral("encrypted.pdf"));
    writePdf(plain, 1);
    QProcess encrypt;
    encrypt.start(qpdf, {QStringLiteral("--encrypt"), userPassword, QStringLiteral("owner"),
                         QStringLiteral("256"), QStringLiteral("--"), plain, encrypted});
    QVERIFY(encrypt.waitForFinished());
    QCOMPARE(encrypt.exitCode(), 0);

    const Run run = renderPages(encrypted, outRoot(), 1, 1);

    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0)
        QVERIFY2(run.errors.contains(QLatin1String("password")), qPrintable(run.errors));
    QCOMPARE(filesIn(outFolder()), written);
}

void TestPdfToPng::keepsHugePagesInsidePixelBudget()
{
    const QString pdf = in(QStringLiteral("huge.pdf"));
    writePdf(pdf, 1, QPageSize(QSizeF(200, 200), QPageSize::Inch));

    const Run run = renderPages(pdf, outRoot(), 1, 1);

    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    const QImage image(outRoot() + QLatin1String("-000001.png"));
    QVERIFY(!image.isNull());
    const double pixels = double(image.width()) * image.height();
    QVERIFY2(pixels <= kMaxPixels, qPrintable(QString::number(pixels)));
    QVERIFY2(pixels > 0.99 * kMaxPixels, qPrintable(QString::number(pixels)));
    QCOMPARE(image.width(), image.height());
    QCOMPARE(pageShownBy(image), 1);
}

void TestPdfToPng::acceptsUnusualPaths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addRow("blanks") << QStringLiteral("two  words ");
    QTest::addRow("quotes") << QStringLiteral("it's \"quoted\"");
    QTest::addRow("non-ASCII letters") << QStringLiteral("Ünïcødé 日本語 résumé");
}

void TestPdfToPng::acceptsUnusualPaths()
{
    QFETCH(QString, folder);
    QVERIFY(QDir(dir->path()).mkpath(folder));
    const QString base = dir->filePath(folder) + QLatin1Char('/');
    const QString pdf = base + folder + QLatin1String(".pdf");
    writePdf(pdf, 2);

    const Run run = renderPages(pdf, base + folder, 2, 2);

    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    const QImage image(base + folder + QLatin1String("-000002.png"));
    QVERIFY(!image.isNull());
    QCOMPARE(pageShownBy(image), 2);
}

void TestPdfToPng::replacesExistingImages()
{
    const QString pdf = in(QStringLiteral("doc.pdf"));
    const QString image = outRoot() + QLatin1String("-000001.png");
    QFile stale(image);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("stale");
    stale.close();
    writePdf(pdf, 1);

    const Run run = renderPages(pdf, outRoot(), 1, 1);

    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(filesIn(outFolder()), QStringList{QStringLiteral("out-000001.png")});
    QCOMPARE(pageShownBy(QImage(image)), 1);
}

QTEST_MAIN(TestPdfToPng)
#include "tst_pdftopng.moc"
