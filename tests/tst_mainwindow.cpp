#include "AboutDialog.h"
#include "BuildSettings.h"
#include "MainWindow.h"
#include "job/Names.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

namespace {

using L = QStringList;

// A modal box's text (empty for a menu) and the widget it came over.
using Popup = std::pair<QString, const QWidget*>;

// Runs `call`; every modal box or menu it opens is recorded, handed to `act`, then closed.
QList<Popup> withPopups(const std::function<void()>& call,
                        const std::function<void(QWidget*)>& act = {})
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
    return seen;
}

// Stands in for the desktop: records the addresses it is asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;
    Q_INVOKABLE void open(const QUrl& url) { urls << url; }
};

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
        for (const char* scheme : {"file", "mailto", "http", "https"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "open");
    }

    void init()
    {
        QSettings(Names::Maker, Names::Product).clear();
        opened.urls.clear();
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
            opened.urls.clear();
            CHECKED(click("buttonWizzardHelp"));
            QCOMPARE(opened.urls.value(0).fileName(), help[index]);
        }
        for (const QSpinBox* spin : window->findChildren<QSpinBox*>()) {
            const auto* edit = spin->findChild<QLineEdit*>();
            // The line edit keeps a margin of 2 pixels on each side.
            const int text = edit->fontMetrics().horizontalAdvance(QStringLiteral("1000"));
            QVERIFY2(text <= edit->contentsRect().width() - 4, qPrintable(spin->objectName()));
        }
        // Where nothing can open help or mail, a box says so over the window that asked.
        for (const char* scheme : {"file", "mailto"}) // the handler cannot be called
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "missing");
        AboutDialog about;
        const QString mail = QStringLiteral("mailto:") + QString::fromUtf8(MIRAVEL_SUPPORT_EMAIL);
        const QList<Popup> failed = withPopups([&] {
            get<QAction>("actionContents")->trigger();
            emit about.findChild<QLabel*>(QStringLiteral("label_2"))->linkActivated(mail);
        });
        for (const char* scheme : {"file", "mailto"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "open");
        QCOMPARE(failed.size(), 2);
        QVERIFY(failed[0].first.contains("help-introduction-system-requirements.html"));
        QCOMPARE(failed[0].second, window.get());
        QVERIFY(failed[1].first.contains(mail));
        QCOMPARE(failed[1].second, &about);
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
        QVERIFY(get<QLabel>("lblOutcome")->text().startsWith(QStringLiteral("Stopped. ")));
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
        } else if (trayAtPress) {
            emit icon->activated(QSystemTrayIcon::Trigger);
            QVERIFY(w.isVisible() && !w.isMinimized() && !icon->isVisible());
        }
    }

    // The user's way through every page, the real engine and pdftopng; the output folder made.
    void endToEnd()
    {
        const QDir in(fixtures.filePath(QStringLiteral("in")));
        const QDir out(fixtures.filePath(QStringLiteral("made/new"))); // Generate makes it
        QVERIFY(in.mkpath(QStringLiteral("sub")));
        // Source -> thumbnails: PDF pages 1 to 2 of 3, one per picture.
        QMap<QString, int> expected;
        for (const char* name : {"pic_a.png", "pic_b.jpg", "pic_c.bmp", "sub/pic_d.ppm",
                                 "doc_a.pdf", "sub/doc_b.pdf"}) {
            const QString path = in.filePath(QLatin1String(name));
            expected.insert(path, path.endsWith(QLatin1String(".pdf")) ? 2 : 1);
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
        QTRY_COMPARE(model->rowCount(model->index(in.path())), 6);
        window->resize(3000, window->height()); // wider than the columns need: the last one fills the gap
        const QHeaderView* columns = get<QTreeView>("treeFiles")->header();
        QTRY_COMPARE(columns->length(), columns->viewport()->width());
        CHECKED(click("buttonWizzardNext"));
        get<QSpinBox>("pdfSpinPageTo")->setValue(2);
        CHECKED(click("buttonWizzardNext"));
        // An output folder that cannot be made: a box naming it, and no job.
        const QString refused = viewFolder + QStringLiteral("/b.png/sub");
        get<QLineEdit>("lineOutputFolderImg")->setText(refused);
        CHECKED(click("buttonWizzardNext"));
        QList<Popup> popups;
        CHECKED(click("btnGenerate", &popups));
        QCOMPARE(popups.size(), 1);
        QVERIFY2(popups[0].first.contains(refused), qPrintable(popups[0].first));
        QVERIFY(get("btnGenerate")->isEnabled() && !get("btnStop")->isEnabled());
        get<QLineEdit>("lineOutputFolderImg")->setText(QDir::toNativeSeparators(out.path()));
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);

        auto* tree = get<QTreeWidget>("treeThumbnails");
        QMap<QString, int> listed;
        QString copied; // thumbnail paths only, source by source, each ending with a line feed
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* source = tree->topLevelItem(i);
            listed.insert(QDir::fromNativeSeparators(source->text(0)), source->childCount());
            for (int c = 0; c < source->childCount(); ++c)
                copied += source->child(c)->text(0) + QLatin1Char('\n');
        }
        QCOMPARE(listed, expected);
        const int made = copied.count(QLatin1Char('\n'));
        QCOMPARE(out.entryList(QDir::Files).size(), made);
        QCOMPARE(get<QLabel>("lblOutcome")->text(),
                 QString("Finished. Thumbnails made: %1. Files that gave none: 1.").arg(made));
        get<QAction>("actionCopy_All_File_Names")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), copied);
    }

    // On the list of the end-to-end job: copy and go to file; no menu on empty space, and no item
    // kept once Generate empties the list.
    void contextMenu()
    {
        if (!window || get<QTreeWidget>("treeThumbnails")->topLevelItemCount() == 0)
            CHECKED(endToEnd());
        auto* tree = get<QTreeWidget>("treeThumbnails");
        tree->expandAll();
        const QTreeWidgetItem* item = tree->findItems("pic_a.png", Qt::MatchEndsWith)[0]->child(0);
        const QString thumbnail = item->text(0);
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
        QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(thumbnail).path())});

        QApplication::clipboard()->setText(QStringLiteral("previous"));
        // Again, only what is new or changed; a thumbnail put among the sources is passed over.
        QVERIFY(QFile::copy(thumbnail, fixtures.filePath(QStringLiteral("in/copied.png"))));
        get<QCheckBox>("checkOnlyNewOrChanged")->setChecked(true);
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
        QCOMPARE(menu(onItem, QStringLiteral("Copy file name")), 0);
        get<QAction>("actionCopy_File_Path")->trigger();
        get<QAction>("actionGo_to_File")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("previous"));
        QCOMPARE(opened.urls.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
        QCOMPARE(get<QLabel>("lblOutcome")->text(), QStringLiteral("Finished. Thumbnails made: 0. Files that gave none: 1. Up to date: 6. Passed over: 1."));
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

    QTemporaryDir fixtures;
    QString viewFolder; // a PDF, two pictures and an empty sub-folder
    UrlRecorder opened;
    QList<Popup> startupPopups;
    std::unique_ptr<MainWindow> window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
