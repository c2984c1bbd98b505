// miravel-benchgen: writes benchmark corpora.
//
//   miravel-benchgen pdf FOLDER COUNT PAGES   COUNT PDFs of PAGES A4 pages each: prose, a
//                                             vector chart and a photo-like picture per page
//   miravel-benchgen text FOLDER COUNT        COUNT plain-text files of a few KB of prose
//   miravel-benchgen photos FOLDER COUNT      COUNT JPEG photos of 4000 x 3000 (12 MP): a few
//                                             pictures, each file told apart by a comment
//
// The content is pseudo-random with a fixed seed, so every run writes the same files.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTextStream>
#include <QVector>
#include <QtEndian>

#include <cmath>
#include <cstdio>

namespace {

const QStringList Words = {
    QStringLiteral("the"),       QStringLiteral("harbour"),  QStringLiteral("light"),
    QStringLiteral("morning"),   QStringLiteral("quietly"),  QStringLiteral("river"),
    QStringLiteral("report"),    QStringLiteral("measured"), QStringLiteral("across"),
    QStringLiteral("northern"),  QStringLiteral("valley"),   QStringLiteral("and"),
    QStringLiteral("of"),        QStringLiteral("a"),        QStringLiteral("season"),
    QStringLiteral("engineers"), QStringLiteral("built"),    QStringLiteral("bridge"),
    QStringLiteral("over"),      QStringLiteral("stone"),    QStringLiteral("with"),
    QStringLiteral("careful"),   QStringLiteral("figures"),  QStringLiteral("in"),
    QStringLiteral("their"),     QStringLiteral("ledger"),   QStringLiteral("while"),
    QStringLiteral("weather"),   QStringLiteral("turned"),   QStringLiteral("colder"),
    QStringLiteral("every"),     QStringLiteral("evening"),  QStringLiteral("market"),
    QStringLiteral("prices"),    QStringLiteral("rose"),     QStringLiteral("slowly"),
    QStringLiteral("because"),   QStringLiteral("shipping"), QStringLiteral("was"),
    QStringLiteral("delayed"),   QStringLiteral("by"),       QStringLiteral("storms"),
    QStringLiteral("council"),   QStringLiteral("agreed"),   QStringLiteral("to"),
    QStringLiteral("review"),    QStringLiteral("plans"),    QStringLiteral("for"),
    QStringLiteral("new"),       QStringLiteral("library"),  QStringLiteral("near"),
    QStringLiteral("old"),       QStringLiteral("station")};

QString sentence(QRandomGenerator& random)
{
    const int count = 8 + random.bounded(12);
    QStringList words;
    for (int i = 0; i < count; ++i)
        words << Words.at(random.bounded(Words.size()));
    QString text = words.join(QLatin1Char(' '));
    text[0] = text.at(0).toUpper();
    return text + QLatin1Char('.');
}

QString paragraph(QRandomGenerator& random)
{
    QStringList sentences;
    const int count = 4 + random.bounded(4);
    for (int i = 0; i < count; ++i)
        sentences << sentence(random);
    return sentences.join(QLatin1Char(' '));
}

// Smooth colour fields with grain: compresses and decodes like a photograph.
QImage photo(QRandomGenerator& random, const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    const double fx = 2 + random.bounded(4.0);
    const double fy = 2 + random.bounded(4.0);
    const double phase = random.bounded(6.28);
    for (int y = 0; y < size.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double v = double(y) / size.height();
        for (int x = 0; x < size.width(); ++x) {
            const double u = double(x) / size.width();
            const double wave = std::sin(fx * u * 3.14 + phase) * std::cos(fy * v * 3.14);
            const int grain = int(random.bounded(24)) - 12;
            const int r = qBound(0, int(120 + 90 * wave + 60 * u) + grain, 255);
            const int g = qBound(0, int(110 + 70 * std::cos(wave + v * 4)) + grain, 255);
            const int b = qBound(0, int(140 - 80 * wave + 50 * v) + grain, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    return image;
}

void drawChart(QPainter& painter, const QRectF& box, QRandomGenerator& random)
{
    painter.save();
    painter.setPen(QPen(Qt::black, 4));
    painter.drawLine(box.bottomLeft(), box.bottomRight());
    painter.drawLine(box.bottomLeft(), box.topLeft());

    const int bars = 8;
    const double step = box.width() / bars;
    for (int i = 0; i < bars; ++i) {
        const double h = box.height() * (0.2 + random.bounded(0.7));
        painter.fillRect(
            QRectF(box.left() + i * step + step * 0.15, box.bottom() - h, step * 0.5, h),
            QColor::fromHsv(30 * i, 160, 220));
    }

    QPainterPath curve(QPointF(box.left(), box.center().y()));
    for (int i = 1; i <= 6; ++i) {
        const double x = box.left() + box.width() * i / 6;
        curve.cubicTo(x - step, box.top() + random.bounded(box.height()), x - step / 2,
                      box.top() + random.bounded(box.height()), x,
                      box.top() + random.bounded(box.height()));
    }
    painter.setPen(QPen(QColor(20, 60, 160), 8));
    painter.drawPath(curve);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 40, 40, 160));
    painter.drawEllipse(
        QRectF(box.right() - box.width() * 0.3, box.top(), box.width() * 0.25, box.width() * 0.25));
    painter.restore();
}

bool writePdf(const QString& path, int pages, QRandomGenerator& random)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Benchmark document"));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const QRectF page = painter.viewport();
    const QRectF body = page.adjusted(200, 200, -200, -200);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPointSize(10);
    painter.setFont(font);
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            writer.newPage();
        const double third = body.height() / 3;
        QString text;
        for (int p = 0; p < 3; ++p)
            text += paragraph(random) + QStringLiteral("\n\n");
        painter.drawText(QRectF(body.left(), body.top(), body.width(), third), Qt::TextWordWrap,
                         text);
        const QRectF lower(body.left(), body.top() + third + 50, body.width(), third * 2 - 50);
        drawChart(painter,
                  QRectF(lower.left(), lower.top(), lower.width() * 0.45, lower.height() * 0.45),
                  random);
        const QRectF photoBox(lower.left() + lower.width() * 0.5, lower.top(), lower.width() * 0.5,
                              lower.height() * 0.45);
        painter.drawImage(photoBox, photo(random, QSize(1200, 900)));
        painter.drawText(QRectF(lower.left(), lower.top() + lower.height() * 0.5, lower.width(),
                                lower.height() * 0.5),
                         Qt::TextWordWrap,
                         paragraph(random) + QStringLiteral("\n\n") + paragraph(random));
    }
    return painter.end();
}

bool writeText(const QString& path, QRandomGenerator& random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    const int paragraphs = 4 + random.bounded(6);
    for (int i = 0; i < paragraphs; ++i)
        out << paragraph(random) << "\n\n";
    return true;
}

// Few distinct pictures, as encoding 12 MP takes long; every file differs in its bytes
// (a comment after the JFIF header), so no cache can tell two apart.
bool writePhotos(const QString& folder, int count, QRandomGenerator& random)
{
    constexpr int Pictures = 4;
    QVector<QByteArray> encoded;
    for (int i = 0; i < Pictures && i < count; ++i) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (!photo(random, QSize(4000, 3000)).save(&buffer, "JPEG", 90))
            return false;
        encoded << buffer.data();
    }
    for (int i = 1; i <= count; ++i) {
        QByteArray bytes = encoded.at(i % encoded.size());
        const QByteArray text = "miravel-benchgen photo " + QByteArray::number(i);
        QByteArray comment("\xff\xfe\0\0", 4);
        qToBigEndian(quint16(text.size() + 2), comment.data() + 2);
        // After the start of image (2 bytes) and the JFIF segment (2 + 16 bytes).
        bytes.insert(20, comment + text);
        QFile file(folder + QStringLiteral("/photo-%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: miravel-benchgen pdf FOLDER COUNT PAGES\n"
                 "       miravel-benchgen text FOLDER COUNT\n"
                 "       miravel-benchgen photos FOLDER COUNT\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    // QPdfWriter needs fonts, hence a GUI application, but no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString kind = args.value(1);
    const QString folder = args.value(2);
    const int count = args.value(3).toInt();
    const int pages = args.value(4).toInt();
    const bool photos = kind == QLatin1String("photos");
    if ((kind == QLatin1String("pdf") && (args.size() != 5 || pages < 1))
        || ((kind == QLatin1String("text") || photos) && args.size() != 4)
        || (kind != QLatin1String("pdf") && kind != QLatin1String("text") && !photos) || count < 1)
        return usage();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "miravel-benchgen: cannot create %s\n", qPrintable(folder));
        return 1;
    }

    QRandomGenerator random(20240601);
    if (photos) {
        if (writePhotos(folder, count, random))
            return 0;
        std::fprintf(stderr, "miravel-benchgen: cannot write the photos\n");
        return 1;
    }
    for (int i = 1; i <= count; ++i) {
        const QString number = QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
        const bool ok = kind == QLatin1String("pdf")
            ? writePdf(folder + QStringLiteral("/document-") + number + QStringLiteral(".pdf"),
                       pages, random)
            : writeText(folder + QStringLiteral("/notes-") + number + QStringLiteral(".txt"),
                        random);
        if (!ok) {
            std::fprintf(stderr, "miravel-benchgen: cannot write file %d\n", i);
            return 1;
        }
    }
    return 0;
}
