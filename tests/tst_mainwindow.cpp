#include "AboutDialog.h"
#include "BuildSettings.h"
#include "MainWindow.h"
#include "Names.h"
#include "TestSupport.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <functional>
#include <memory>

namespace {

using L = QStringList;
const L AllEntries = fileTypeEntries();
const QString DefaultTemplate = QStringLiteral("thumbnail_[NAME]_[PAGE]");
const QString TypeWarning = QStringLiteral("Please select at least one file type from the list.");
const QString PathWarning = QStringLiteral("Please select at least one item from the folders tree");
const QString FolderWarning = QStringLiteral("Please specifiy thumbnails output folder.");
const QString TemplateWarning = QStringLiteral("Please specifiy thumbnails output name format.");

// What a modal box or menu showed before the test closed it.
struct Popup
{
    QString type;
    QString text;
    const QWidget* parent;
};

// Runs `call`; every modal box or menu it opens is recorded, handed to `act` and, if still
// open, closed. A box that resists is hidden after a bound.
QList<Popup> withPopups(const std::function<void()>& call,
                        const std::function<void(QWidget*)>& act = {})
{
    QList<Popup> seen;
    QPointer<QWidget> current;
    int ticks = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup)
            popup = QApplication::activeModalWidget();
        if (!popup || !popup->isVisible() || (popup == current && ++ticks < 2000))
            return;
        if (popup == current)
            return popup->hide();
        current = popup;
        ticks = 0;
        auto* box = qobject_cast<QMessageBox*>(popup);
        // Every box the window raises is a warning.
        QVERIFY(!box || box->icon() == QMessageBox::Warning);
        seen << Popup{QString::fromLatin1(popup->metaObject()->className()),
                      box ? box->text() : QString(), popup->parentWidget()};
        if (act)
            act(popup);
        if (auto* dialog = qobject_cast<QDialog*>(current.data()); dialog && dialog->isVisible())
            dialog->reject();
        else if (current && current->isVisible())
            current->close();
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

public slots:
    void open(const QUrl& url) { urls << url; }
};

// A child that ignores SIGTERM until it installs its own handler, so that an early request
// to end is lost instead of killing it.
class ShieldedProcess : public QProcess
{
protected:
    void setupChildProcess() override
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGTERM, &ignore, nullptr);
    }
};

// A persisted key, the widget that shows it and a value other than the default.
struct Binding
{
    QString key;
    QString widget;
    QVariant changed;
};

QList<Binding> bindings()
{
    QList<Binding> list{{"MVSFileTypes", "treeFileTypes", QString("Text,txt,%1,Pictures,png")
                                                             .arg(AllEntries[25])},
                        {"MVSOutputFormat", "radioOutput", 0},
                        {"MVSLookRecursive", "chkRecursive", false},
                        {"MVSOutputFolder", "lineOutputFolderImg", "/srv/x"},
                        {"MVSUseFileFolder", "checkUserFileFolderImg", true},
                        {"MVSNameFormat", "templateEdit", "[CDATE]"}};
    const L keys{"MVSWord", "MVSExcel", "MVSPowerPoint", "MVSPdf", "MVSPicture"};
    const L spins{"word", "excel", "ppoint", "pdf", "pic"}, boxes{"word", "excel", "ppt", "pdf", "pic"};
    for (int i = 0; i < 5; ++i) {
        list << Binding{keys[i] + "MVSWidth", spins[i] + "SpinThumbWidth", 101 + 10 * i}
             << Binding{keys[i] + "MVSHeight", spins[i] + "SpinThumbHeight", 102 + 10 * i}
             << Binding{keys[i] + "MVSKeepAspectRatio", boxes[i] + "CheckKeepAspectRatio", false};
        if (i < 4)
            list << Binding{keys[i] + "MVSPStart", spins[i] + "SpinPageFrom", 3 + i}
                 << Binding{keys[i] + "MVSPEnd", spins[i] + "SpinPageTo", 17 + i};
    }
    return list;
}

// By the name's suffix: a three-page PDF, a picture, or else a text of several pages.
void writeFile(const QString& path)
{
    if (path.endsWith(QLatin1String(".pdf"))) {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A6));
        QPainter painter(&writer);
        for (int page = 1; page <= 3; ++page) {
            painter.drawText(QPointF(200, 400), QStringLiteral("Page %1").arg(page));
            QVERIFY(page == 3 || writer.newPage());
        }
        QVERIFY(painter.end());
        return;
    }
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (image.save(path))
        return;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int line = 1; line <= 300; ++line)
        QVERIFY(file.write("line " + QByteArray::number(line) + '\n') > 0);
}

L sorted(L list)
{
    list.sort();
    return list;
}

} // namespace

// Stops a test function when a helper it called has failed.
#define CHECKED(call) do { call; if (QTest::currentTestFailed()) return; } while (false)

// Drives the window through its widgets, found by their object names.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void navigation();
    void validators_data();
    void validators();
    void nameFilters_data();
    void nameFilters();
    void templateEdit_data();
    void templateEdit();
    void settings_data();
    void settings();
    void officeBox();
    void extraArguments();
    void helpAndMail();
    void runningStates();
    void endToEnd();
    void contextMenu_data();
    void contextMenu();

private:
    template <typename T = QWidget> T* get(const QString& name) const;
    void newWindow();
    void sharedWindow();
    void select(const QString& path);
    void click(const char* button, QList<Popup>* popups = nullptr);
    void goToPage(int page, bool selectPaths = true);
    int page() const { return get<QToolBox>("toolBox")->currentIndex(); }
    void tickOnly(const L& entries);
    L ticked() const;
    QString shown(const Binding& b) const;

    QTemporaryDir fixtures;
    QString viewFolder; // files of several types and a sub-folder
    UrlRecorder opened;
    QList<Popup> startupPopups;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    // The window's images live in a static library.
    Q_INIT_RESOURCE(res);
    // Settings stay apart from the real ones; no session bus, so "Go to File" takes its
    // fallback and no real file manager is asked.
    QStandardPaths::setTestModeEnabled(true);
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(fixtures.filePath("bus")));
    QVERIFY(fixtures.isValid());
    viewFolder = fixtures.filePath(QStringLiteral("view"));
    QVERIFY(QDir(viewFolder).mkpath(QStringLiteral("sub")));
    for (const char* name : {"a.pdf", "b.png", "c.jpg", "d.txt", "f.xyz", "noext"})
        CHECKED(writeFile(viewFolder + QLatin1Char('/') + QLatin1String(name)));
    for (const char* scheme : {"file", "mailto", "http", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "open");
}

void TestMainWindow::init()
{
    QSettings(Names::Maker, Names::Product).clear();
    opened.urls.clear();
}

template <typename T> T* TestMainWindow::get(const QString& name) const
{
    T* found = window->findChild<T*>(name);
    if (!found)
        qFatal("The window has no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

void TestMainWindow::newWindow()
{
    window.reset();
    // A box about missing office components may come up while the window is built.
    startupPopups = withPopups([this] { window = std::make_unique<MainWindow>(); });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

// The window of the test before, back on the first page (going back never warns).
void TestMainWindow::sharedWindow()
{
    if (!window)
        CHECKED(newWindow());
    while (page() > 0)
        CHECKED(click("buttonWizzardBack"));
}

void TestMainWindow::select(const QString& path)
{
    auto* view = get<QTreeView>("treeFiles");
    const auto* model = qobject_cast<QFileSystemModel*>(view->model());
    QTRY_VERIFY(model->index(path).isValid());
    view->selectionModel()->select(model->index(path), QItemSelectionModel::Select);
}

// Clicks the button; the boxes it opens go to `popups`, or must not come at all.
void TestMainWindow::click(const char* button, QList<Popup>* popups)
{
    auto* target = get<QAbstractButton>(button);
    const QList<Popup> seen = withPopups([target] { QTest::mouseClick(target, Qt::LeftButton); });
    if (popups)
        *popups = seen;
    else
        QCOMPARE(seen.size(), 0);
}

// Moves forward from the current page with input that every page accepts.
void TestMainWindow::goToPage(int target, bool selectPaths)
{
    while (page() < target) {
        const int current = page();
        if (current == 1 && selectPaths
            && !get<QTreeView>("treeFiles")->selectionModel()->hasSelection())
            CHECKED(select(viewFolder));
        if (current == 3 && get<QLineEdit>("lineOutputFolderImg")->text().isEmpty())
            get<QLineEdit>("lineOutputFolderImg")->setText(fixtures.filePath("out"));
        CHECKED(click("buttonWizzardNext"));
        QCOMPARE(page(), current + 1);
    }
}

void TestMainWindow::tickOnly(const L& entries)
{
    for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it)
        (*it)->setCheckState(0, entries.contains((*it)->text(0)) ? Qt::Checked : Qt::Unchecked);
}

L TestMainWindow::ticked() const
{
    L texts;
    for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it) {
        if ((*it)->checkState(0) == Qt::Checked)
            texts << (*it)->text(0);
    }
    return texts;
}

QString TestMainWindow::shown(const Binding& b) const
{
    if (b.widget == QLatin1String("treeFileTypes"))
        return ticked().join(QLatin1Char(','));
    if (b.widget == QLatin1String("radioOutput")) {
        const L radios{"radioOutputBmp", "radioOutputJpeg", "radioOutputPng"};
        for (int i = 0; i < 3; ++i) {
            if (get<QAbstractButton>(radios[i])->isChecked())
                return QString::number(i);
        }
    }
    const QWidget* w = get(b.widget);
    return w->property(w->inherits("QSpinBox") ? "value" : w->inherits("QLineEdit") ? "text"
                                                                                     : "checked")
        .toString();
}

// Every page forward and back with its help page; boxes wide enough for four digits.
void TestMainWindow::navigation()
{
    const L help{"help-how-to-select-file-types.html", "help-how-to-select-files-and-folders.html",
                 "help-how-to-appearance-options.html", "help-how-thumbnails-output-options.html",
                 "help-how-to-generate-thumbnails.html"};
    CHECKED(sharedWindow());
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
    opened.urls.clear();
    get<QAction>("actionContents")->trigger();
    QCOMPARE(opened.urls.value(0).fileName(),
             QStringLiteral("help-introduction-system-requirements.html"));
    window.reset(); // nothing ticked is no start for the next test
}

void TestMainWindow::validators_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("cleared");   // no type ticked on page 0, no path selected on page 1
    QTest::addColumn<bool>("preselect"); // the files folder given as on the command line
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("nameFormat");
    QTest::addColumn<bool>("useFileFolder");
    QTest::addColumn<L>("warnings");

    const QString out = QStringLiteral("/srv/out"), none;
    QTest::addRow("no file type ticked")
        << 0 << true << false << out << DefaultTemplate << false << L{TypeWarning};
    QTest::addRow("nothing selected in the folders tree")
        << 1 << true << false << out << DefaultTemplate << false << L{PathWarning};
    QTest::addRow("paths given at start survive the first move forward")
        << 1 << false << true << out << DefaultTemplate << false << L();
    QTest::addRow("empty folder and name format warn in sequence")
        << 3 << false << false << none << none << false << L{FolderWarning, TemplateWarning};
    QTest::addRow("file folder used: the folder is off, only the name format can warn")
        << 3 << false << false << none << none << true << L{TemplateWarning};
    QTest::addRow("only emptiness is checked, a first page beyond the last is kept")
        << 3 << false << false << "/no/such/folder" << "[" << false << L();
}

void TestMainWindow::validators()
{
    QFETCH(int, page);
    QFETCH(bool, cleared);
    QFETCH(bool, preselect);
    QFETCH(QString, folder);
    QFETCH(QString, nameFormat);
    QFETCH(bool, useFileFolder);
    QFETCH(L, warnings);

    CHECKED(newWindow());
    if (preselect)
        window->preselectPaths({viewFolder});
    get<QSpinBox>("pdfSpinPageFrom")->setValue(5);
    get<QSpinBox>("pdfSpinPageTo")->setValue(2);
    CHECKED(goToPage(page, !preselect));
    if (cleared && page == 0)
        tickOnly({});
    if (cleared && page == 1)
        get<QTreeView>("treeFiles")->selectionModel()->clearSelection();
    get<QLineEdit>("lineOutputFolderImg")->setText(folder);
    get<QAbstractButton>("checkUserFileFolderImg")->setChecked(useFileFolder);
    QCOMPARE(get("lineOutputFolderImg")->isEnabled(), !useFileFolder);
    QCOMPARE(get("btnOutputFolderImg")->isEnabled(), !useFileFolder);
    get<QLineEdit>("templateEdit")->setText(nameFormat);

    QList<Popup> popups;
    CHECKED(click("buttonWizzardNext", &popups));
    L texts;
    for (const Popup& popup : popups) {
        texts << popup.text;
        QCOMPARE(popup.parent, window.get());
    }
    QCOMPARE(texts, warnings);
    QCOMPARE(this->page(), warnings.isEmpty() ? page + 1 : page);
    QCOMPARE(get<QLineEdit>("lineOutputFolderImg")->text(), folder);
    QCOMPARE(get<QLineEdit>("templateEdit")->text(), nameFormat);
    QCOMPARE(get<QSpinBox>("pdfSpinPageFrom")->value(), 5);
}

void TestMainWindow::nameFilters_data()
{
    QTest::addColumn<L>("ticked");
    QTest::addColumn<L>("filters");
    QTest::addColumn<L>("visible");

    L pictures;
    for (const QString& e : AllEntries.mid(27))
        pictures << QStringLiteral("*.") + e;
    QTest::addRow("only the pdf entry") << L{AllEntries[25]} << L{"*.pdf"} << L{"a.pdf", "sub"};
    QTest::addRow("picture group, in tree order")
        << L(AllEntries.mid(26)) << pictures << L{"b.png", "c.jpg", "sub"};
}

// The ticked types filter the files view of the next page.
void TestMainWindow::nameFilters()
{
    QFETCH(L, ticked);
    QFETCH(L, filters);
    QFETCH(L, visible);

    CHECKED(sharedWindow());
    tickOnly(ticked);
    CHECKED(click("buttonWizzardNext"));
    auto* model = qobject_cast<QFileSystemModel*>(get<QTreeView>("treeFiles")->model());
    QCOMPARE(model->nameFilters(), filters);
    const QModelIndex folder = model->index(viewFolder);
    model->fetchMore(folder);
    const auto names = [&] {
        L list;
        for (int row = 0; row < model->rowCount(folder); ++row)
            list << model->index(row, 0, folder).data().toString();
        return sorted(list);
    };
    QTRY_COMPARE(names(), visible);
}

void TestMainWindow::templateEdit_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selected"); // characters selected backwards from the cursor
    QTest::addColumn<QString>("after");

    const char* const tokens[][2] = {
        {"Name", "NAME"},          {"Page", "PAGE"},          {"CurrentDate", "DATE"},
        {"CurrentTime", "TIME"},   {"CreatedDate", "CDATE"},  {"CreatedTime", "CTIME"},
        {"ModifiedDate", "MDATE"}, {"ModifiedTime", "MTIME"}, {"FolderName", "FOLDER"},
        {"FileSize", "FILESIZE"}};
    for (const auto& t : tokens) {
        QTest::addRow("%s over a selection gives [%s]", t[0], t[1])
            << QString(QString("btnTemplate") + t[0]) << "xabcy" << 4 << 3 << QString("x[%1]y").arg(t[1]);
    }
    QTest::addRow("reset over a selection") << "btnTemplateResetDefault" << "[DATE]_[TIME]" << 6
                                            << 4 << DefaultTemplate;
}

void TestMainWindow::templateEdit()
{
    QFETCH(QString, button);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(int, selected);
    QFETCH(QString, after);

    CHECKED(sharedWindow());
    CHECKED(goToPage(3));
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto* edit = get<QLineEdit>("templateEdit");
    edit->setText(before);
    edit->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(edit->hasFocus());
    edit->setCursorPosition(cursor);
    edit->cursorBackward(true, selected);
    QTest::mouseClick(get<QAbstractButton>(button), Qt::LeftButton);
    QCOMPARE(edit->text(), after);
}

void TestMainWindow::settings_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QVariantMap>("shown"); // also what closing saves

    QVariantMap changed;
    for (const Binding& b : bindings())
        changed.insert(b.key, b.changed);
    QTest::addRow("every value shown, saved and shown again") << changed << changed;
    const QList<std::tuple<const char*, const char*, QVariant, QVariant>> rows{
        {"format 1 is jpeg", "MVSOutputFormat", 1, 1},
        {"format 5 leaves png, saved as 2", "MVSOutputFormat", 5, 2},
        {"empty template stays empty", "MVSNameFormat", QString(), QString()},
        {"width below range raised", "MVSWordMVSWidth", 5, 20},
        {"height above range lowered", "MVSPictureMVSHeight", 5000, 1000},
        {"non-numeric width gives the minimum", "MVSPdfMVSWidth", "wide", 20},
        {"first page beyond the last kept", "MVSPdfMVSPStart", 3, 3}};
    for (const auto& [name, key, stored, shown] : rows)
        QTest::addRow("%s", name) << QVariantMap{{key, stored}} << QVariantMap{{key, shown}};
}

void TestMainWindow::settings()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QVariantMap, shown);

    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QSettings(Names::Maker, Names::Product).setValue(it.key(), it.value());
    // Shown at start, saved when the window closes, shown again at the next start.
    for (int start = 0; start < 2; ++start) {
        CHECKED(newWindow());
        for (const Binding& b : bindings()) {
            if (shown.contains(b.key))
                QCOMPARE(this->shown(b), shown[b.key].toString());
        }
        QVERIFY(window->close());
        window.reset();
        const QSettings saved(Names::Maker, Names::Product);
        for (auto it = shown.cbegin(); it != shown.cend(); ++it)
            QCOMPARE(saved.value(it.key()).toString(), it.value().toString());
    }
}

// The office families missing here are disabled and named in a box.
void TestMainWindow::officeBox()
{
    const bool available[] = {isWordAvailable(), isExcelAvailable(), isPowerPointAvailable()};
    const char* const groups[] = {"groupWordOptions", "groupExcelOptions", "groupPowerPointOptions"};
    QString missing;
    L off;
    for (int i = 0; i < 3; ++i) {
        const int first = AllEntries.indexOf(L{"Microsoft Word", "Microsoft Excel",
                                               "Microsoft PowerPoint"}[i]);
        missing += available[i] ? QString() : QString((i > 0 ? "\n" : "") + AllEntries[first]);
        off += available[i] ? L() : AllEntries.mid(first, i == 2 ? 3 : 5);
    }
    CHECKED(newWindow());
    QCOMPARE(startupPopups.size(), missing.isEmpty() ? 0 : 1);
    const QString intro = "The following components of Microsoft Office are missing on your "
                          "system:\n" + missing + "\n\nPlease, install ";
    QVERIFY(missing.isEmpty() || startupPopups.first().text.startsWith(intro));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(get(groups[i])->isEnabled(), available[i]);
    for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it) {
        QCOMPARE((*it)->isDisabled(), off.contains((*it)->text(0)));
        QCOMPARE((*it)->checkState(0), (*it)->isDisabled() ? Qt::Unchecked : Qt::Checked);
    }
}

// The program started with arguments it does not know runs as usual and, asked from outside
// to end, closes its window and saves its settings.
void TestMainWindow::extraArguments()
{
    QTemporaryDir config;
    const QString store = config.filePath(QStringLiteral("Tessarine/Miravel.conf"));
    // A box about missing office components would keep the program from getting ready.
    QSettings(store, QSettings::IniFormat).setValue("MVSOfficeWarningDontShow", true);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    ShieldedProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/miravel"),
                  {"--unknown-option", "/no/such/file.pdf", "-x", "MVSNameFormat=[DATE]"});
    QVERIFY(process.waitForStarted());
    // Ask it to end until the closing window has saved its settings (a minute at most).
    for (int tries = 0; process.state() != QProcess::NotRunning && tries < 3000; ++tries) {
        QFile file(store);
        if (!file.open(QIODevice::ReadOnly) || !file.readAll().contains("MVSNameFormat"))
            ::kill(pid_t(process.processId()), SIGTERM);
        process.waitForFinished(20);
    }
    QCOMPARE(process.state(), QProcess::NotRunning); // else killed when `process` goes
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QSettings(store, QSettings::IniFormat).value("MVSNameFormat").toString(),
             DefaultTemplate);
}

// Where nothing can open help or mail, a box says so over the window that asked.
void TestMainWindow::helpAndMail()
{
    CHECKED(sharedWindow());
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
    QVERIFY(failed[0].text.contains(QStringLiteral("help-introduction-system-requirements.html")));
    QCOMPARE(failed[0].parent, window.get());
    QVERIFY(failed[1].text.contains(mail));
    QCOMPARE(failed[1].parent, &about);
}

// Generate, Stop and Background through real jobs (no tray here: Background minimizes).
void TestMainWindow::runningStates()
{
    // Generate, Stop, Background enabled (capital) or not; window shown or minimized (W, M).
    const auto state = [this] {
        return QString::asprintf("%c%c%c %c", get("btnGenerate")->isEnabled() ? 'G' : 'g',
                                 get("btnStop")->isEnabled() ? 'S' : 's',
                                 get("btnBackground")->isEnabled() ? 'B' : 'b',
                                 window->isMinimized() ? 'M' : 'W');
    };
    CHECKED(newWindow());
    CHECKED(goToPage(4));
    // An output folder that cannot be made: a box naming it, and no job.
    const QString refused = viewFolder + QStringLiteral("/b.png/sub");
    get<QLineEdit>("lineOutputFolderImg")->setText(refused);
    QList<Popup> popups;
    CHECKED(click("btnGenerate", &popups));
    QCOMPARE(popups.size(), 1);
    QVERIFY2(popups[0].text.contains(refused) && popups[0].parent == window.get(),
             qPrintable(popups[0].text));
    QCOMPARE(state(), QStringLiteral("Gsb W"));

    get<QLineEdit>("lineOutputFolderImg")->setText(fixtures.filePath("out"));
    auto* progress = get<QProgressBar>("progressBar");
    progress->setValue(40);
    QSignalSpy values(progress, &QProgressBar::valueChanged);
    // The engine's reports wait in the event queue until the test waits.
    QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
    QCOMPARE(state(), QStringLiteral("gSB W"));
    QTest::mouseClick(get<QAbstractButton>("btnBackground"), Qt::LeftButton);
    QCOMPARE(state(), QStringLiteral("gSB M"));
    QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Gsb M"), 60000);
    // Four files of the view folder: the bar moves as each starts.
    QList<int> moves;
    for (const QList<QVariant>& v : values)
        moves << v.first().toInt();
    QCOMPARE(moves, (QList<int>{0, 25, 50, 75, 100}));

    // Stop: 0 at once; Generate waits for the end of the stopped job.
    window->showNormal();
    QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
    QTest::mouseClick(get<QAbstractButton>("btnStop"), Qt::LeftButton);
    QCOMPARE(state(), QStringLiteral("gsb W"));
    QCOMPARE(progress->value(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Gsb W"), 60000);
    QCOMPARE(progress->value(), 0);
    QVERIFY(get<QLabel>("lblOutcome")->text().startsWith(QStringLiteral("Stopped. ")));
}

// The user's way through every page, the real engine and pdftopng.
void TestMainWindow::endToEnd()
{
    QVERIFY2(QFileInfo::exists(QCoreApplication::applicationDirPath() + "/pdf2png/pdftopng"),
             "pdftopng is not built beside the test");
    const QDir in(fixtures.filePath(QStringLiteral("in")));
    const QDir out(fixtures.filePath(QStringLiteral("made/new"))); // Generate makes it
    QVERIFY(in.mkpath(QStringLiteral("sub")));
    // Source -> thumbnails: PDF pages 1 to 2 of 3; a text of several pages gives its first.
    QMap<QString, int> expected;
    for (const char* name : {"pic_a.png", "pic_b.jpg", "pic_c.bmp", "sub/pic_d.ppm", "doc_a.pdf",
                             "sub/doc_b.pdf", "notes.txt", "ignored.xyz"}) {
        const QString path = in.filePath(QLatin1String(name));
        CHECKED(writeFile(path));
        if (!path.endsWith(QLatin1String(".xyz")))
            expected.insert(path, path.endsWith(QLatin1String(".pdf")) ? 2 : 1);
    }
    // A broken picture is listed without thumbnails, marked.
    QFile broken(in.filePath(QStringLiteral("broken.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();
    expected.insert(broken.fileName(), 0);

    CHECKED(newWindow());
    CHECKED(click("buttonWizzardNext"));
    CHECKED(select(in.path()));
    CHECKED(click("buttonWizzardNext"));
    get<QSpinBox>("pdfSpinPageTo")->setValue(2);
    CHECKED(click("buttonWizzardNext"));
    get<QLineEdit>("lineOutputFolderImg")->setText(QDir::toNativeSeparators(out.path()));
    CHECKED(click("buttonWizzardNext"));
    QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
    QCOMPARE(get<QProgressBar>("progressBar")->value(), 100);
    QCOMPARE(get<QLabel>("lblFilesNumber")->text(), QString::number(expected.size()));

    auto* tree = get<QTreeWidget>("treeThumbnails");
    QMap<QString, int> listed;
    L thumbnails;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* source = tree->topLevelItem(i);
        listed.insert(QDir::fromNativeSeparators(source->text(0)), source->childCount());
        QCOMPARE(source->toolTip(0).isEmpty(), source->childCount() > 0);
        for (int c = 0; c < source->childCount(); ++c) {
            const QFileInfo file(source->child(c)->text(0));
            QVERIFY2(file.isFile(), qPrintable(file.filePath()));
            QCOMPARE(file.absolutePath(), out.path());
            thumbnails << file.fileName();
        }
    }
    QCOMPARE(listed, expected);
    QCOMPARE(sorted(thumbnails), sorted(out.entryList(QDir::Files)));
    QCOMPARE(get<QLabel>("lblOutcome")->text(),
             QStringLiteral("Finished. Thumbnails made: %1. Files that gave none: 1.")
                 .arg(thumbnails.size()));
    // Thumbnail paths only, source by source, each ending with a line feed.
    get<QAction>("actionCopy_All_File_Names")->trigger();
    L lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString());
    for (QString& line : lines)
        line = QFileInfo(line).fileName();
    QCOMPARE(lines, thumbnails);
}

void TestMainWindow::contextMenu_data()
{
    QTest::addColumn<int>("row");        // the clicked line: 0 a source, 1 its thumbnail, -1 none
    QTest::addColumn<bool>("generate");  // Generate pressed after the menu: the list is emptied
    QTest::addColumn<QString>("action"); // clicked in the menu
    QTest::addColumn<bool>("copies");    // the clicked line's text goes to the clipboard

    QTest::addRow("copy on a source") << 0 << false << "Copy file name" << true;
    QTest::addRow("copy on a thumbnail") << 1 << false << "Copy file name" << true;
    QTest::addRow("go to file opens its folder") << 1 << false << "Go to File" << false;
    QTest::addRow("no menu on empty space") << -1 << false << "Copy file name" << false;
    QTest::addRow("generate forgets the item, no menu on the empty list")
        << 1 << true << "Copy file name" << false;
}

// On the list of the end-to-end job.
void TestMainWindow::contextMenu()
{
    QFETCH(int, row);
    QFETCH(bool, generate);
    QFETCH(QString, action);
    QFETCH(bool, copies);

    if (!window || get<QTreeWidget>("treeThumbnails")->topLevelItemCount() == 0)
        CHECKED(endToEnd());
    auto* tree = get<QTreeWidget>("treeThumbnails");
    tree->expandAll();
    QTreeWidgetItem* item = tree->topLevelItem(0);
    for (int i = 1; item->childCount() == 0; ++i)
        item = tree->topLevelItem(i);
    item = row == 1 ? item->child(0) : item;
    const QString text = item->text(0);
    const QPoint pos = row >= 0 ? tree->visualItemRect(item).center()
                                : QPoint(10, tree->viewport()->height() - 5);
    QCOMPARE(tree->itemAt(pos), row >= 0 ? item : nullptr);
    const auto menu = [&](const std::function<void(QWidget*)>& act) {
        return withPopups([&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->mapToGlobal(pos));
            QApplication::sendEvent(tree->viewport(), &event);
        }, act);
    };
    if (generate) { // the menu remembers the item, Generate empties the list
        menu({});
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
    }
    QApplication::clipboard()->setText(QStringLiteral("previous"));
    const QList<Popup> popups = menu([&](QWidget* popup) {
        auto* m = qobject_cast<QMenu*>(popup);
        for (QAction* entry : m->actions()) {
            if (entry->text() == action)
                QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(entry).center());
        }
    });
    QCOMPARE(popups.size(), row >= 0 && !generate ? 1 : 0);
    if (generate) {
        get<QAction>("actionCopy_File_Path")->trigger();
        get<QAction>("actionGo_to_File")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
    }
    const bool goes = action == QLatin1String("Go to File");
    QCOMPARE(opened.urls, goes ? QList<QUrl>{QUrl::fromLocalFile(QFileInfo(text).path())}
                               : QList<QUrl>());
    QCOMPARE(QApplication::clipboard()->text(), copies ? text : QStringLiteral("previous"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
