// Saves the README's pictures of the window into the folder given: the file-type page, and a
// finished job with its thumbnails listed and one of them previewed. Needs a display; its
// settings and sample files stay in a temporary folder.
#include "MainWindow.h"
#include "job/Names.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPdfWriter>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

namespace {

// Lets the window work until `done` holds, for at most `ms`.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

void writePicture(const QString& path, const QColor& from, const QColor& to, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, from);
    sky.setColorAt(1, to);
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(255, 230, 120));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width * 0.7, height * 0.35), height * 0.15, height * 0.15);
    painter.end();
    image.save(path);
}

void writeReport(const QString& path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A5));
    QPainter painter(&writer);
    const QRect page = painter.viewport();
    for (int n = 1; n <= 3; ++n) {
        if (n > 1)
            writer.newPage();
        QFont title = painter.font();
        title.setPointSize(28);
        painter.setFont(title);
        painter.drawText(page.adjusted(0, page.height() / 10, 0, 0), Qt::AlignHCenter,
                         QStringLiteral("Quarterly report, part %1").arg(n));
        painter.fillRect(
            QRect(page.width() / 8, page.height() / 3, page.width() * 3 / 4, page.height() / 3),
            QColor::fromHsv(60 * n, 120, 230));
    }
}

QWidget* find(const MainWindow& window, const char* name)
{
    return window.findChild<QWidget*>(QLatin1String(name));
}

void next(const MainWindow& window)
{
    qobject_cast<QAbstractButton*>(find(window, "buttonWizzardNext"))->click();
}

} // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(res);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: miravel-screenshots FOLDER\n");
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[1]);
    QFont::insertSubstitution(QStringLiteral("Franklin Gothic Medium"), QStringLiteral("Carlito"));
    QStandardPaths::setTestModeEnabled(true); // the user's settings stay untouched
    QSettings settings(Names::Maker, Names::Product);
    settings.clear();
    settings.setValue(QStringLiteral("MVSOfficeWarningDontShow"), true);
    settings.sync();

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/demo-XXXXXX"));
    const QDir samples(work.filePath(QStringLiteral("Holiday")));
    samples.mkpath(QStringLiteral("."));
    writePicture(samples.filePath(QStringLiteral("beach.png")), QColor(40, 120, 200),
                 QColor(240, 210, 150), 640, 420);
    writePicture(samples.filePath(QStringLiteral("dusk.jpg")), QColor(60, 30, 90),
                 QColor(250, 120, 60), 480, 640);
    writePicture(samples.filePath(QStringLiteral("meadow.png")), QColor(120, 190, 240),
                 QColor(70, 150, 60), 800, 450);
    writeReport(samples.filePath(QStringLiteral("report.pdf")));

    MainWindow window;
    window.preselectPaths({samples.path()});
    window.resize(960, 700);
    window.show();
    waitFor([] { return false; }, 500); // fonts, icons and the first paint
    const QString typesPicture = QDir(target).filePath(QStringLiteral("file-types.png"));
    if (!window.grab().save(typesPicture))
        return 1;

    next(window);
    next(window);
    window.findChild<QSpinBox*>(QStringLiteral("pdfSpinPageTo"))->setValue(3);
    next(window);
    window.findChild<QLineEdit*>(QStringLiteral("lineOutputFolderImg"))
        ->setText(work.filePath(QStringLiteral("Thumbnails")));
    next(window);
    auto* generate = qobject_cast<QAbstractButton*>(find(window, "btnGenerate"));
    generate->click();
    if (!waitFor([generate] { return generate->isEnabled(); }, 120000))
        return 1;

    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("treeThumbnails"));
    list->expandAll();
    list->setCurrentItem(list->findItems(QStringLiteral("beach.png"), Qt::MatchEndsWith)
                             .value(0, list->topLevelItem(0))
                             ->child(0));
    const auto iconsShown = [list] {
        for (QTreeWidgetItemIterator it(list); *it; ++it) {
            const bool inView = list->visualItemRect(*it).intersects(list->viewport()->rect());
            if (inView && (*it)->icon(0).isNull())
                return false;
        }
        return true;
    };
    waitFor(iconsShown, 10000);
    return window.grab().save(QDir(target).filePath(QStringLiteral("results.png"))) ? 0 : 1;
}
