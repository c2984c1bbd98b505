#include "AboutDialog.h"
#include "BuildSettings.h"
#include "JobOutcome.h"
#include "MainWindow.h"
#include "job/Names.h"

#include <QtTest>
#include <QtWidgets>

#include <ctime>
#include <functional>
#include <memory>

namespace {

using L = QStringList;

// A modal box's text (empty for a menu) and the widget it came over.
using Popup = std::pair<QString, const QWidget*>;

// Runs `call`; every modal box or menu it opens, up to `awaited` of them later, is recorded,
// handed to `act`, then closed.
QList<Popup> withPopups(const std::function<void()>& call,
                        const std::function<void(QWidget*)>& act = {}, int awaited = 0)
{
    QList<Popup> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* menu = QApplication::activePopupWidget();
        QPointer<QWidget> popup = menu ? menu : QApplication::activeModalWidget();
        if (!popup || !popup->isVisible())
            return;
        auto* box = qobject_cast<QMessageBox*>(popup);
        seen << Popup{box ? box->text() : QString(), popup->parentWidget()};
        if (act)
            act(popup);
        if (popup)
            popup->hide(); // ends its event loop
    });
    poll.start(5);
    call();
    (void)QTest::qWaitFor([&] { return seen.size() >= awaited; }, 10000);
    return seen;
}


// Every persisted key with a value other than the default.
QVariantMap changedSettings()
{
    QVariantMap map{{"MVSFileTypes", "Text,txt,Portable Document Format (PDF),Pictures,png"},
                    {"MVSOutputFormat", 0}, {"MVSLookRecursive", false}, {"MVSOutputFolder", "/x"},
                    {"MVSUseFileFolder", true}, {"MVSNameFormat", "[CDATE]"}, {"MVSOnlyNewOrChanged", true}};
    int value = 100;
    for (const QString family : {"MVSWord", "MVSExcel", "MVSPowerPoint", "MVSPdf", "MVSPicture"}) {
        map.insert(family + "MVSKeepAspectRatio", false);
        for (const char* key : {"MVSWidth", "MVSHeight", "MVSPStart", "MVSPEnd"})
            map.insert(family + key, ++value);
    }
    map.remove("MVSPictureMVSPStart"); // pictures have no pages
    map.remove("MVSPictureMVSPEnd");
    return map;
}

qint64 threadCpuUs()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

// By the name's suffix: a three-page PDF, or a picture.
void writeFile(const QString& path)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QVERIFY(path.endsWith(QLatin1String(".pdf")) || image.save(path));
    if (!path.endsWith(QLatin1String(".pdf")))
        return;
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A6));
    QPainter painter(&writer);
    for (int page = 1; page <= 3; ++page) {
        painter.drawText(200, 400, QString::number(page));
        QVERIFY(page == 3 || writer.newPage());
    }
    QVERIFY(painter.end());
}

} // namespace

// A desktop whose tray host comes and goes when the test says so.
struct TrayWindow : MainWindow
{
    bool trayUp = false;
    bool trayAvailable() const override { return trayUp; }
};

// Stops a test function when a helper it called has failed.
#define CHECKED(call) do { call; if (QTest::currentTestFailed()) return; } while (false)

// Drives the window through its widgets, found by their object names.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(res); // the window's images live in a static library
        // Settings stay apart from the real ones; no session bus, so "Go to File" takes its
        // fallback and no real file manager is asked.
        QStandardPaths::setTestModeEnabled(true);
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(fixtures.path()));
        viewFolder = fixtures.filePath(QStringLiteral("view"));
        QVERIFY(QDir(viewFolder).mkpath(QStringLiteral("sub")));
        for (const char* name : {"a.pdf", "b.png", "c.jpg"})
            CHECKED(writeFile(viewFolder + QLatin1Char('/') + QLatin1String(name)));
        // The desktop's opener: records what it is asked to open, fails when told to.
        openerLog = fixtures.filePath(QStringLiteral("opened.log"));
        QVERIFY(QDir(fixtures.path()).mkdir(QStringLiteral("bin")));
        QFile opener(fixtures.filePath(QStringLiteral("bin/xdg-open")));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\necho \"$1\" >> '" + QFile::encodeName(openerLog) + "'\n"
                     "exit ${OPEN_STATUS:-0}\n");
        opener.close();
        QVERIFY(opener.setPermissions(opener.permissions() | QFile::ExeOwner));
        qputenv("PATH", QFile::encodeName(fixtures.filePath("bin")) + ':' + qgetenv("PATH"));
    }

    void init()
    {
        QSettings(Names::Maker, Names::Product).clear();
        QFile::remove(openerLog);
    }

    // Every page forward and back with its help page, and a box where no help can open; spin boxes
    // wide enough for four digits; the office families missing here disabled, and a box.
    void navigation()
    {
        const L help{"help-how-to-select-file-types.html",
                     "help-how-to-select-files-and-folders.html",
                     "help-how-to-appearance-options.html",
                     "help-how-thumbnails-output-options.html",
                     "help-how-to-generate-thumbnails.html"};
        CHECKED(newWindow());
        const L groups{"groupWordOptions", "groupExcelOptions", "groupPowerPointOptions"};
        const bool available[] = {isWordAvailable(), isExcelAvailable(), isPowerPointAvailable()};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(get(groups[i])->isEnabled(), available[i]);
        QCOMPARE(startupPopups.size(), available[0] && available[1] && available[2] ? 0 : 1);
        QVERIFY(get<QCheckBox>("picCheckKeepAspectRatio")->isChecked()); // first start: aspect kept, all made
        QVERIFY(!get<QCheckBox>("checkOnlyNewOrChanged")->isChecked());
        for (int step = 0; step < 9; ++step) {
            const int index = step < 5 ? step : 8 - step;
            if (step == 5) { // back never warns, even with every page's input gone
                tickOnly({});
                get<QTreeView>("treeFiles")->selectionModel()->clearSelection();
                get<QLineEdit>("lineOutputFolderImg")->clear();
                get<QLineEdit>("templateEdit")->clear();
            }
            if (step < 5)
                CHECKED(goToPage(index));
            else
                CHECKED(click("buttonWizzardBack"));
            QCOMPARE(get<QStackedWidget>("stackedWidget")->currentIndex(), index);
            QCOMPARE(get("buttonWizzardBack")->isEnabled(), index != 0);
            QCOMPARE(get("buttonWizzardNext")->isEnabled(), index != 4);
            QFile::remove(openerLog);
            CHECKED(click("buttonWizzardHelp"));
            QTRY_COMPARE(opened().value(0).fileName(), help[index]);
        }
        for (const QSpinBox* spin : window->findChildren<QSpinBox*>()) {
            const auto* edit = spin->findChild<QLineEdit*>();
            // The line edit keeps a margin of 2 pixels on each side.
            const int text = edit->fontMetrics().horizontalAdvance(QStringLiteral("1000"));
            QVERIFY2(text <= edit->contentsRect().width() - 4, qPrintable(spin->objectName()));
        }
        // Where nothing can open help or mail, or the opener fails, a box says so over the
        // window that asked.
        AboutDialog about;
        const QString mail = QStringLiteral("mailto:") + QString::fromUtf8(MIRAVEL_SUPPORT_EMAIL);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(fixtures.filePath("none")));
        const QList<Popup> missing = withPopups([&] {
            get<QAction>("actionContents")->trigger();
            emit about.findChild<QLabel*>(QStringLiteral("label_2"))->linkActivated(mail);
        }, {}, 2);
        qputenv("PATH", path);
        qputenv("OPEN_STATUS", "4");
        const QList<Popup> failed = withPopups([&] { get<QAction>("actionContents")->trigger(); }, {}, 1);
        qunsetenv("OPEN_STATUS");
        QCOMPARE(missing.size(), 2);
        for (const Popup& box : missing) {
            const bool help = box.first.contains("help-introduction-system-requirements.html");
            QVERIFY2(help || box.first.contains(mail), qPrintable(box.first));
            QCOMPARE(box.second, help ? static_cast<const QWidget*>(window.get()) : &about);
            QVERIFY(box.first.endsWith("\": no program to open it was found."));
        }
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed[0].first.endsWith("\": the program that opens it failed (exit status 4)."));
    }

    void validators_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("cleared");   // no type ticked on page 0, no path selected on page 1
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("nameFormat");
        QTest::addColumn<bool>("useFileFolder");
        QTest::addColumn<L>("warnings");

        const QString none;
        QTest::addRow("no file type ticked") << 0 << true << none << none << false << L{"Please select at least one file type from the list."};
        QTest::addRow("nothing selected in the folders tree") << 1 << true << none << none << false << L{"Please select at least one item from the folders tree"};
        QTest::addRow("paths given at start survive the first move forward") << 1 << false << none << none << false << L();
        QTest::addRow("empty folder and name format warn in sequence") << 3 << false << none << none << false << L{"Please specifiy thumbnails output folder.", "Please specifiy thumbnails output name format."};
        QTest::addRow("file folder used: the folder is off, only the name format can warn") << 3 << false << none << none << true << L{"Please specifiy thumbnails output name format."};
        QTest::addRow("only emptiness is checked, a first page beyond the last is kept") << 3 << false << "/no/such/folder" << "[" << false << L();
    }

    void validators()
    {
        QFETCH(int, page);
        QFETCH(bool, cleared);
        QFETCH(QString, folder);
        QFETCH(QString, nameFormat);
        QFETCH(bool, useFileFolder);
        QFETCH(L, warnings);

        CHECKED(newWindow());
        get<QSpinBox>("pdfSpinPageFrom")->setValue(5);
        get<QSpinBox>("pdfSpinPageTo")->setValue(2);
        CHECKED(goToPage(page));
        if (cleared && page == 0)
            tickOnly({});
        if (cleared && page == 1)
            get<QTreeView>("treeFiles")->selectionModel()->clearSelection();
        get<QLineEdit>("lineOutputFolderImg")->setText(folder);
        get<QAbstractButton>("checkUserFileFolderImg")->setChecked(useFileFolder);
        QCOMPARE(get("lineOutputFolderImg")->isEnabled(), !useFileFolder);
        get<QLineEdit>("templateEdit")->setText(nameFormat);

        QList<Popup> popups;
        CHECKED(click("buttonWizzardNext", &popups));
        L texts;
        for (const Popup& popup : popups)
            texts << popup.first;
        QCOMPARE(texts, warnings);
        QCOMPARE(this->page(), warnings.isEmpty() ? page + 1 : page);
    }

    void settings_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QVariantMap>("saved"); // when the window closes

        QTest::addRow("every value kept through two starts") << changedSettings() << changedSettings();
        const QList<std::tuple<const char*, const char*, QVariant, QVariant>> rows{
            {"format 1 is jpeg", "MVSOutputFormat", 1, 1},
            {"format 5 leaves png, saved as 2", "MVSOutputFormat", 5, 2},
            {"empty template stays empty", "MVSNameFormat", QString(), QString()},
            {"width below range raised", "MVSWordMVSWidth", 5, 20},
            {"height above range lowered", "MVSPictureMVSHeight", 5000, 1000},
            {"non-numeric width gives the minimum", "MVSPdfMVSWidth", "wide", 20},
            {"first page beyond the last kept", "MVSPdfMVSPStart", 3, 3}};
        for (const auto& [name, key, stored, saved] : rows)
            QTest::addRow("%s", name) << QVariantMap{{key, stored}} << QVariantMap{{key, saved}};
    }

    // What a start shows is what closing saves, and the next start shows it again.
    void settings()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QVariantMap, saved);

        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            QSettings(Names::Maker, Names::Product).setValue(it.key(), it.value());
        for (int start = 0; start < 2; ++start) {
            CHECKED(newWindow());
            QVERIFY(window->close());
            const QSettings now(Names::Maker, Names::Product);
            for (auto it = saved.cbegin(); it != saved.cend(); ++it)
                QCOMPARE(now.value(it.key()).toString(), it.value().toString());
        }
    }

    // Generate and Stop through real jobs.
    void runningStates()
    {
        // Generate, Stop, Background enabled (capital) or not.
        const auto state = [this] {
            return QString::asprintf("%c%c%c", get("btnGenerate")->isEnabled() ? 'G' : 'g',
                                     get("btnStop")->isEnabled() ? 'S' : 's',
                                     get("btnBackground")->isEnabled() ? 'B' : 'b');
        };
        CHECKED(newWindow());
        CHECKED(goToPage(4));
        auto* progress = get<QProgressBar>("progressBar");
        progress->setValue(40);
        QSignalSpy values(progress, &QProgressBar::valueChanged);
        // The engine's reports wait in the event queue until the test waits.
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
        QCOMPARE(state(), QStringLiteral("gSB"));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Gsb"), 60000);
        // Three files in the view folder: the bar moves as each starts.
        QCOMPARE(QList<QVariantList>(values), (QList<QVariantList>{{0}, {33}, {66}, {100}}));

        // Stop: 0 at once; Generate waits for the end of the stopped job.
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
        QTest::mouseClick(get<QAbstractButton>("btnStop"), Qt::LeftButton);
        QCOMPARE(state(), QStringLiteral("gsb"));
        QCOMPARE(progress->value(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Gsb"), 60000);
        QCOMPARE(progress->value(), 0);
        QVERIFY(get<QLabel>("lblOutcome")->text().startsWith(QStringLiteral("Stopped after ")));
    }

    void tray_data()
    {
        QTest::addColumn<bool>("trayAtPress");
        QTest::addColumn<bool>("hostQuits");
        QTest::addRow("no tray: minimised") << false << false;
        QTest::addRow("tray that came after start-up: hidden to it") << true << false;
        QTest::addRow("tray host quits while hidden: back, minimised") << true << true;
    }

    void tray()
    {
        QFETCH(bool, trayAtPress);
        QFETCH(bool, hostQuits);
        TrayWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* icon = w.findChild<QSystemTrayIcon*>();
        w.trayUp = trayAtPress;
        // Background is pressed while a job runs; the button itself is enabled only then.
        QVERIFY(QMetaObject::invokeMethod(&w, "on_btnBackground_clicked"));
        QTRY_COMPARE_WITH_TIMEOUT(w.isVisible(), !trayAtPress, 5000);
        QCOMPARE(w.isMinimized(), !trayAtPress);
        QCOMPARE(icon->isVisible(), trayAtPress);
        if (hostQuits) {
            w.trayUp = false;
            QTRY_VERIFY_WITH_TIMEOUT(w.isVisible() && w.isMinimized(), 5000);
        } else if (trayAtPress) { // the job ends: the tool tip tells the counts
            QVERIFY(QMetaObject::invokeMethod(&w, "onJobDone", Q_ARG(ThumbEngine::ThumbStatus, ThumbEngine::KFinished)));
            QCOMPARE(icon->toolTip(), "Miravel: Done\n" + w.findChild<QLabel*>("lblOutcome")->text());
            emit icon->activated(QSystemTrayIcon::Trigger);
            QVERIFY(w.isVisible() && !w.isMinimized() && !icon->isVisible());
        }
    }

    void outcomeTexts_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("without"); // files that gave none; the others two thumbnails each
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("balloon"); // its first line

        const QString click = " Click on icon to open Miravel window";
        QTest::addRow("every file made: the success message") << false << 12000 << 240 << 0 << "Finished in 12 s (20 files a second). Thumbnails made: 480. Files that gave none: 0." << "Thumbnails were generated successfully." + click;
        QTest::addRow("files that gave none counted") << false << 400 << 2 << 1 << "Finished in 0.4 s (5.0 files a second). Thumbnails made: 2. Files that gave none: 1." << "The job finished with 1 files that gave no thumbnails." + click;
        QTest::addRow("stopped after minutes") << true << 125000 << 250 << 0 << "Stopped after 2 min 5 s (2.0 files a second). Thumbnails made: 500. Files that gave none: 0." << "Thumbnails generation was stopped." + click;
        QTest::addRow("nothing found at once") << false << 0 << 0 << 0 << "Finished in 0.0 s (0.0 files a second). Thumbnails made: 0. Files that gave none: 0." << "No file to make thumbnails of was found." + click;
    }

    // The end-of-job line and the tray's message.
    void outcomeTexts()
    {
        QFETCH(bool, stopped);
        QFETCH(int, ms);
        QFETCH(int, files);
        QFETCH(int, without);
        QFETCH(QString, summary);
        QFETCH(QString, balloon);
        const JobOutcome outcome{stopped, ms, files, 2 * (files - without), without};
        QCOMPARE(outcome.summary(), summary);
        QCOMPARE(outcome.balloon(), balloon + '\n' + summary);
    }

    void beforeTheRun_data()
    {
        QTest::addColumn<QString>("format"); // its radio button
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("besideSource");
        QTest::addColumn<QString>("folder"); // empty: a folder of the fixtures
        QTest::addColumn<QString>("nameFormat");
        QTest::addColumn<QString>("selected"); // the view folder's entry given at start
        QTest::addColumn<QString>("line"); // {out} and {view} stand for those folders
        QTest::addColumn<QString>("refusal"); // in Generate's box; empty: the job writes the file named

        const QString png = "radioOutputPng", none, name = "thumbnail_[NAME]_[PAGE]";
        QTest::addRow("default name, as the engine writes it") << png << 1 << 1 << false << none << name << none << "Your first file: {out}/thumbnail_a_1.png" << none;
        QTest::addRow("jpeg from the range's first page") << "radioOutputJpeg" << 2 << 3 << false << none << "[NAME]-[PAGE]" << none << "Your first file: {out}/a-2.jpg" << none;
        QTest::addRow("beside the source; a backwards range refused, kept") << png << 3 << 2 << true << none << "t_[NAME]_[PAGE]" << none << "Your first file: {view}/t_a_3.png" << "The page range of Portable Document Format (PDF) runs backwards: From 3 is after To 2.";
        QTest::addRow("a chosen file; empty name refused") << png << 1 << 1 << false << none << "[XYZ]" << "/a.pdf" << "Your first file: {out}/.png (the name is empty)" << "The name format \"[XYZ]\" gives an empty name for {view}/a.pdf.";
        QTest::addRow("folder separator refused") << png << 1 << 1 << false << none << "x/[NAME]" << none << "Your first file: {out}/x/a.png (the name holds a folder separator)" << "gives \"x/a\" for {view}/a.pdf: a name cannot hold a folder separator.";
        QTest::addRow("folder that takes no file refused") << png << 1 << 1 << false << "/proc" << name << none << "Your first file: /proc/thumbnail_a_1.png" << "Miravel cannot write into the output folder \"/proc\": ";
        QTest::addRow("no source in the selection") << png << 1 << 1 << false << "/proc" << name << "/sub" << "Your first file: no source file is selected yet." << "cannot write into the output folder";
    }

    // The output page names the first source's first thumbnail as the engine will, following
    // every edit; Generate refuses what cannot make thumbnails, and starts nothing then.
    void beforeTheRun()
    {
        QFETCH(QString, format);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, besideSource);
        QFETCH(QString, folder);
        QFETCH(QString, nameFormat);
        QFETCH(QString, selected);
        QFETCH(QString, line);
        QFETCH(QString, refusal);

        CHECKED(newWindow());
        if (!selected.isEmpty())
            window->preselectPaths({viewFolder + selected});
        tickOnly({"Portable Document Format (PDF)"});
        get<QAbstractButton>(format)->setChecked(true);
        get<QSpinBox>("pdfSpinPageFrom")->setValue(from);
        get<QSpinBox>("pdfSpinPageTo")->setValue(to);
        CHECKED(goToPage(3));
        const QString out = folder.isEmpty() ? fixtures.filePath("names") : folder;
        get<QLineEdit>("lineOutputFolderImg")->setText(out);
        get<QAbstractButton>("checkUserFileFolderImg")->setChecked(besideSource);
        get<QLineEdit>("templateEdit")->setText(nameFormat);
        for (QString* text : {&line, &refusal})
            text->replace("{out}", out).replace("{view}", viewFolder);
        QCOMPARE(get<QLabel>("lblFirstName")->text(), line);

        CHECKED(goToPage(4));
        QList<Popup> popups;
        CHECKED(click("btnGenerate", &popups));
        QCOMPARE(popups.size(), refusal.isEmpty() ? 0 : 1);
        QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
        if (refusal.isEmpty())
            QVERIFY(QFile::exists(line.section("Your first file: ", 1)));
        else
            QVERIFY2(popups[0].first.contains(refusal) && !get("btnStop")->isEnabled(), qPrintable(popups[0].first));
        QCOMPARE(get<QSpinBox>("pdfSpinPageFrom")->value(), from);
    }

    void filesPageOpensAtHome_data()
    {
        QTest::addColumn<bool>("given");
        QTest::addRow("home, nothing selected") << false;
        QTest::addRow("the path given at start, selected") << true;
    }

    // The tree still starts at the top, with home, and a path given at start, expanded and in view.
    void filesPageOpensAtHome()
    {
        QFETCH(bool, given);
        CHECKED(newWindow());
        if (!given)
            window->preselectPaths({});
        auto* view = get<QTreeView>("treeFiles");
        view->setFixedHeight(150); // a few rows: a folder left where it was first listed is out of view
        CHECKED(goToPage(1));
        auto* model = qobject_cast<QFileSystemModel*>(view->model());
        const QString path = given ? viewFolder : QDir::homePath();
        QPersistentModelIndex top = model->index(path); // below "/": first listed at the top, then sorted
        while (top.parent().parent().isValid())
            top = top.parent();
        QTRY_VERIFY(top.row() > 0);
        const QModelIndex shown = model->index(path);
        for (QModelIndex i : {shown, model->index(QDir::homePath())})
            for (; i.isValid(); i = i.parent())
                QVERIFY2(view->isExpanded(i), qPrintable(model->filePath(i)));
        QTRY_VERIFY(view->viewport()->rect().contains(view->visualRect(shown).center()));
        QCOMPARE(view->selectionModel()->selectedIndexes(), given ? QModelIndexList{shown} : QModelIndexList());
        QVERIFY(!view->rootIndex().isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 5)); // the user takes over
        view->verticalScrollBar()->setValue(0);
        emit model->layoutChanged(); // as when a folder listed late is sorted in
        QCoreApplication::processEvents();
        QCOMPARE(view->verticalScrollBar()->value(), 0);
    }

    // 10,000 thumbnails listed as the engine sends them, each source unfolded as it comes: pictures
    // for the rows in view only, then for rows as they come into view. Tells the event loop's
    // longest stall meanwhile.
    void longList()
    {
        CHECKED(newWindow());
        tickOnly({"png"}); // no office to start
        CHECKED(goToPage(4));
        auto* tree = get<QTreeWidget>("treeThumbnails");
        connect(tree->model(), &QAbstractItemModel::rowsInserted, tree, [tree](const QModelIndex& parent, int first) {
            if (!parent.isValid())
                tree->expand(tree->model()->index(first, 0));
        });
        const QDir made(fixtures.filePath(QStringLiteral("long")));
        QVERIFY(made.mkpath("."));
        // The event loop's longest turn by the clock, and in the GUI thread's own CPU time (other
        // work on the machine stretches the first).
        QElapsedTimer clock;
        qint64 last = 0, longest = 0, lastCpu = threadCpuUs(), longestCpu = 0;
        QTimer beat;
        connect(&beat, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed(), cpu = threadCpuUs();
            longest = qMax(longest, now - last);
            longestCpu = qMax(longestCpu, cpu - lastCpu);
            last = now;
            lastCpu = cpu;
        });
        std::unique_ptr<QThread> engine(QThread::create([&] {
            QImage picture(64, 48, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            for (int source = 0; source < 2000; ++source) {
                ThumbEngine::ThumbnailFiles files;
                for (int page = 1; page <= 5; ++page) {
                    const QString path = made.filePath(QString("s%1_%2.png").arg(source).arg(page));
                    files[made.filePath(QString::number(source))].insert(path);
                    picture.save(path);
                }
                QMetaObject::invokeMethod(window.get(), "onGenerated", Qt::QueuedConnection, Q_ARG(ThumbEngine::ThumbnailFiles, files));
            }
        }));
        clock.start();
        beat.start(0);
        engine->start();
        QTRY_COMPARE_WITH_TIMEOUT(tree->topLevelItemCount(), 2000, 120000);
        QVERIFY(engine->wait(10000));
        QTreeWidgetItem* inView = tree->topLevelItem(0)->child(0);
        QTreeWidgetItem* below = tree->topLevelItem(1999)->child(4);
        QTRY_VERIFY(!inView->icon(0).isNull());
        qInfo("Longest event-loop stall while 10,000 thumbnails were listed: %lld ms (GUI thread CPU %lld ms)",
              longest, longestCpu / 1000);
        tree->scrollToItem(below);
        QTRY_VERIFY(!below->icon(0).isNull());
        QVERIFY(tree->topLevelItem(1000)->child(0)->icon(0).isNull()); // never in view
    }

    // The user's way through every page, the real engine and pdftopng; the output folder made.
    void endToEnd()
    {
        const QDir in(fixtures.filePath(QStringLiteral("in")));
        const QDir out(fixtures.filePath(QStringLiteral("made/new"))); // Generate makes it
        QVERIFY(in.mkpath(QStringLiteral("sub")));
        // Source -> thumbnails: PDF pages 1 to 3, one per picture; doc_a.png's name is doc_a.pdf's first.
        QMap<QString, int> expected;
        for (const char* name : {"pic_a.png", "pic_b.jpg", "pic_c.bmp", "sub/pic_d.ppm",
                                 "doc_a.pdf", "doc_a.png", "sub/doc_b.pdf"}) {
            const QString path = in.filePath(QLatin1String(name));
            expected.insert(path, path.endsWith(QLatin1String(".pdf")) ? 3 : 1);
            CHECKED(writeFile(path));
        }
        // A broken picture is listed without thumbnails; an unknown type is left out.
        for (const char* name : {"broken.png", "ignored.xyz"}) {
            QFile file(in.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a picture") > 0);
        }
        expected.insert(in.filePath(QStringLiteral("broken.png")), 0);

        CHECKED(newWindow());
        window->preselectPaths({in.path()});
        CHECKED(click("buttonWizzardNext"));
        // The ticked types filter the files view: all but ignored.xyz.
        auto* model = qobject_cast<QFileSystemModel*>(get<QTreeView>("treeFiles")->model());
        model->fetchMore(model->index(in.path()));
        QTRY_COMPARE(model->rowCount(model->index(in.path())), 7);
        window->resize(3000, window->height()); // wider than the columns need: the last one fills the gap
        const QHeaderView* columns = get<QTreeView>("treeFiles")->header();
        QTRY_COMPARE(columns->length(), columns->viewport()->width());
        CHECKED(click("buttonWizzardNext"));
        get<QSpinBox>("pdfSpinPageTo")->setValue(3);
        CHECKED(click("buttonWizzardNext"));
        // An output folder, then a working folder, that cannot be made: a box naming it, and no job.
        const QString refused = viewFolder + QStringLiteral("/b.png/sub");
        get<QLineEdit>("lineOutputFolderImg")->setText(refused);
        CHECKED(click("buttonWizzardNext"));
        QList<Popup> popups;
        CHECKED(click("btnGenerate", &popups));
        QCOMPARE(popups.size(), 1);
        QVERIFY2(popups[0].first.contains(refused), qPrintable(popups[0].first));
        QVERIFY(get("btnGenerate")->isEnabled() && !get("btnStop")->isEnabled());
        get<QLineEdit>("lineOutputFolderImg")->setText(QDir::toNativeSeparators(out.path()));
        const QString work = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
        const auto restore = qScopeGuard([&work] { QFile::remove(work); });
        QVERIFY(QDir(work).removeRecursively() && QFile(work).open(QIODevice::WriteOnly));
        CHECKED(click("btnGenerate", &popups));
        QCOMPARE(popups.value(0).first, QString("The working folder \"%1/\" cannot be used: Not a directory.").arg(work));
        QVERIFY(QFile::remove(work) && get("btnGenerate")->isEnabled());
        const QString firstName = get<QLabel>("lblFirstName")->text().section("Your first file: ", 1);
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
        // Every family ticked, but no office document among the sources: no office was started.
        QVERIFY(QDir::temp().entryList({QString("miravel-office-%1-*").arg(QCoreApplication::applicationPid())}, QDir::Dirs).isEmpty());

        auto* tree = get<QTreeWidget>("treeThumbnails");
        QMap<QString, int> listed;
        QString copied; // thumbnail paths only, source by source, each ending with a line feed
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* source = tree->topLevelItem(i);
            listed.insert(QDir::fromNativeSeparators(source->text(0)), source->childCount());
            for (int c = 0; c < source->childCount(); ++c) { // in page order
                copied += source->child(c)->text(0) + QLatin1Char('\n');
                QVERIFY(source->child(c)->text(0).contains(QRegularExpression(QString("_%1(-2)?\\.png$").arg(c + 1))));
            }
        }
        QCOMPARE(listed, expected);
        // The later of doc_a.pdf and doc_a.png got "-2" and says so, naming the other.
        const QString tips = tree->findItems("doc_a.pdf", Qt::MatchEndsWith)[0]->toolTip(0) + tree->findItems("doc_a.png", Qt::MatchEndsWith)[0]->toolTip(0);
        QCOMPARE(tips.count(QRegularExpression("doc_a\\.p.. would have replaced those of .*doc_a\\.p..:")), 1);
        QVERIFY(copied.contains(QRegularExpression("_1-2\\.png\n")));
        // Named before the run as made, unless it is the broken picture's.
        QVERIFY2(copied.contains(firstName + '\n') != firstName.endsWith("/thumbnail_broken_1.png"), qPrintable(firstName));
        const int made = copied.count(QLatin1Char('\n'));
        QCOMPARE(out.entryList(QDir::Files).size(), made);
        const QRegularExpression outcome(QString("^Finished in [0-9.]+ s \\([0-9.]+ files a second\\)\\. "
                                                 "Thumbnails made: %1\\. Files that gave none: 1\\.$").arg(made));
        QVERIFY2(outcome.match(get<QLabel>("lblOutcome")->text()).hasMatch(), qPrintable(get<QLabel>("lblOutcome")->text()));
        get<QAction>("actionCopy_All_File_Names")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), copied);
    }

    // On the list of the end-to-end job: each thumbnail's picture as its icon once in view, a
    // neutral one for a file gone meanwhile; the preview, real size or scaled down to fit; copy,
    // go to file and open it, with a box when the opener fails; no menu on empty space, and no
    // item kept once Generate empties the list.
    void resultsList()
    {
        if (!window || get<QTreeWidget>("treeThumbnails")->topLevelItemCount() == 0)
            CHECKED(endToEnd());
        window->resize(window->width(), 1400); // room below the rows
        auto* tree = get<QTreeWidget>("treeThumbnails");
        QTreeWidgetItem* gone = tree->findItems("pic_b.jpg", Qt::MatchEndsWith)[0]->child(0);
        QVERIFY(QFile::remove(gone->text(0)));
        tree->expandAll();
        const QImage placeholder = tree->style()->standardIcon(QStyle::SP_FileIcon).pixmap(tree->iconSize()).toImage();
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            if (!(*it)->parent())
                continue;
            tree->scrollToItem(*it);
            QTRY_VERIFY(!(*it)->icon(0).isNull());
            const QImage icon = (*it)->icon(0).pixmap(tree->iconSize()).toImage();
            const QImage picture((*it)->text(0));
            if (*it == gone) {
                QCOMPARE(icon, placeholder);
                continue;
            }
            QCOMPARE(icon.height(), 48);
            QVERIFY(qAbs(icon.width() - 48 * picture.width() / picture.height()) <= 1);
            const QColor a = icon.pixelColor(icon.rect().center()), b = picture.pixelColor(picture.rect().center());
            QVERIFY(qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 40);
        }
        tree->collapseAll();
        QTreeWidgetItem* item = tree->findItems("pic_a.png", Qt::MatchEndsWith)[0]->child(0);
        tree->expandItem(item->parent());
        const QString thumbnail = item->text(0);
        const QImage real(thumbnail);
        tree->setCurrentItem(item);
        QVERIFY(get<QLabel>("lblPreviewDetails")->text().startsWith(QString("%1 x %2 pixels, PNG, ").arg(real.width()).arg(real.height())));
        QCOMPARE(get<QLabel>("lblPreviewPicture")->pixmap(Qt::ReturnByValue).size(), real.size());
        get<QSplitter>("splitterResults")->setSizes({10000, 80});
        QTRY_VERIFY(get<QLabel>("lblPreviewPicture")->pixmap(Qt::ReturnByValue).width() <= 80);
        get<QAbstractButton>("btnPreview")->click();
        QVERIFY(!get("previewThumbnail")->isVisible());

        const QPoint onItem = tree->visualItemRect(item).center();
        // Clicks `action` in the menu opened at `pos`; the number of menus shown.
        const auto menu = [&](const QPoint& pos, const QString& action) {
            return withPopups([&] {
                QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->mapToGlobal(pos));
                QApplication::sendEvent(tree->viewport(), &event);
            }, [&](QWidget* popup) {
                auto* m = qobject_cast<QMenu*>(popup);
                for (QAction* entry : m->actions()) {
                    if (entry->text() == action)
                        QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(entry).center());
                }
            }).size();
        };
        QCOMPARE(menu(QPoint(10, tree->viewport()->height() - 5), "Copy file name"), 0);
        QCOMPARE(menu(onItem, QStringLiteral("Copy file name")), 1);
        QCOMPARE(QApplication::clipboard()->text(), thumbnail);
        QCOMPARE(menu(onItem, QStringLiteral("Go to File")), 1);
        QTRY_COMPARE(opened(), QList<QUrl>{QUrl::fromLocalFile(QFileInfo(thumbnail).path())});
        qputenv("OPEN_STATUS", "4");
        const QList<Popup> failed = withPopups([&] {
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onItem);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, onItem);
        }, {}, 1);
        qunsetenv("OPEN_STATUS");
        QCOMPARE(opened().value(1), QUrl::fromLocalFile(thumbnail));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].first, QString("Miravel could not open \"%1\": the program that opens it failed (exit status 4).").arg(thumbnail));

        QApplication::clipboard()->setText(QStringLiteral("previous"));
        // Again, only what is new or changed; a thumbnail put among the sources is passed over.
        QVERIFY(QFile::copy(thumbnail, fixtures.filePath(QStringLiteral("in/copied.png"))));
        get<QCheckBox>("checkOnlyNewOrChanged")->setChecked(true);
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
        QCOMPARE(menu(onItem, QStringLiteral("Copy file name")), 0);
        get<QAction>("actionCopy_File_Path")->trigger();
        get<QAction>("actionGo_to_File")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("previous"));
        QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
        QCOMPARE(opened().size(), 2);
        // The thumbnail deleted above is made again.
        QVERIFY2(get<QLabel>("lblOutcome")->text().endsWith(QStringLiteral("Thumbnails made: 1. Files that gave none: 1. Up to date: 6. Passed over: 1.")), qPrintable(get<QLabel>("lblOutcome")->text()));
        const QTreeWidgetItem* current = tree->findItems("pic_a.png", Qt::MatchEndsWith)[0];
        QVERIFY(current->childCount() == 0 && current->toolTip(0).startsWith(QStringLiteral("Up to date")));
        // A template that names by the clock leaves nothing to compare with.
        get<QLineEdit>("templateEdit")->setText(QStringLiteral("[NAME]_[date]"));
        QVERIFY(!get("checkOnlyNewOrChanged")->isEnabled() && get("checkOnlyNewOrChanged")->toolTip().contains(QStringLiteral("[DATE] or [TIME]")));
        for (int run = 0; run < 2; ++run) { // all made anew, though ticked
            QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
        }
        QVERIFY(get<QLabel>("lblOutcome")->text().endsWith(QStringLiteral("Files that gave none: 1. Passed over: 1.")));
    }

private:
    template <typename T = QWidget> T* get(const QString& name) const
    {
        T* found = window->findChild<T*>(name);
        if (!found)
            qFatal("No %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return found;
    }

    void newWindow()
    {
        window.reset();
        // A box about missing office components may come up while the window is built.
        startupPopups = withPopups([this] { window = std::make_unique<MainWindow>(); });
        // As given on the command line: selected once the files page shows.
        window->preselectPaths({viewFolder});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // Clicks the button; the boxes it opens go to `popups`, or must not come at all.
    void click(const char* button, QList<Popup>* popups = nullptr)
    {
        auto* target = get<QAbstractButton>(button);
        const auto seen = withPopups([target] { QTest::mouseClick(target, Qt::LeftButton); });
        if (popups)
            *popups = seen;
        else
            QCOMPARE(seen.size(), 0);
    }

    // Moves forward from the current page with input that every page accepts.
    void goToPage(int target)
    {
        while (page() < target) {
            const int current = page();
            if (current == 3 && get<QLineEdit>("lineOutputFolderImg")->text().isEmpty())
                get<QLineEdit>("lineOutputFolderImg")->setText(fixtures.filePath("out"));
            CHECKED(click("buttonWizzardNext"));
            QCOMPARE(page(), current + 1);
        }
    }

    void tickOnly(const L& entries)
    {
        for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it)
            (*it)->setCheckState(0, entries.contains((*it)->text(0)) ? Qt::Checked : Qt::Unchecked);
    }

    int page() const { return get<QToolBox>("toolBox")->currentIndex(); }

    // What the desktop's opener was asked to open, in order.
    QList<QUrl> opened() const
    {
        QFile log(openerLog);
        QList<QUrl> urls;
        for (const QByteArray& line : log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QByteArrayList())
            if (!line.isEmpty())
                urls << QUrl(QString::fromUtf8(line));
        return urls;
    }

    QTemporaryDir fixtures;
    QString viewFolder; // a PDF, two pictures and an empty sub-folder
    QString openerLog;
    QList<Popup> startupPopups;
    std::unique_ptr<MainWindow> window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
