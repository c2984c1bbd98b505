#include "AboutDialog.h"
#include "BuildSettings.h"
#include "MainWindow.h"
#include "Names.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolBox>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

namespace {

const QStringList AllEntries = fileTypeEntries();
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
    QMessageBox::Icon icon;
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
        if (!popup || !popup->isVisible())
            return;
        if (popup == current) {
            if (++ticks > 2000)
                popup->hide();
            return;
        }
        current = popup;
        ticks = 0;
        auto* box = qobject_cast<QMessageBox*>(popup);
        seen << Popup{QString::fromLatin1(popup->metaObject()->className()),
                      box ? box->text() : QString(), popup->parentWidget(),
                      box ? box->icon() : QMessageBox::NoIcon};
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
    QByteArray property;
    QVariant changed;
};

QList<Binding> bindings()
{
    QList<Binding> list{
        {"MVSFileTypes", "treeFileTypes", {}, QString("Text,txt," + AllEntries[25] + ",Pictures,png")},
        {"MVSOutputFormat", "radioOutput", {}, 0},
        {"MVSLookRecursive", "chkRecursive", "checked", false},
        {"MVSOutputFolder", "lineOutputFolderImg", "text", "/srv/x"},
        {"MVSUseFileFolder", "checkUserFileFolderImg", "checked", true},
        {"MVSNameFormat", "templateEdit", "text", "[CDATE]"}};
    const char* const families[][3] = {{"MVSWord", "word", "word"}, {"MVSExcel", "excel", "excel"},
                                       {"MVSPowerPoint", "ppoint", "ppt"}, {"MVSPdf", "pdf", "pdf"},
                                       {"MVSPicture", "pic", "pic"}};
    for (int i = 0; i < 5; ++i) {
        const QString prefix = QLatin1String(families[i][0]);
        const QString spin = QLatin1String(families[i][1]);
        list << Binding{prefix + "MVSWidth", spin + "SpinThumbWidth", "value", 101 + 10 * i}
             << Binding{prefix + "MVSHeight", spin + "SpinThumbHeight", "value", 102 + 10 * i};
        if (i < 4)
            list << Binding{prefix + "MVSPStart", spin + "SpinPageFrom", "value", 3 + i}
                 << Binding{prefix + "MVSPEnd", spin + "SpinPageTo", "value", 17 + i};
        list << Binding{prefix + "MVSKeepAspectRatio",
                        QLatin1String(families[i][2]) + QStringLiteral("CheckKeepAspectRatio"),
                        "checked", false};
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

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

// Stops a test function when a helper it called has failed.
#define CHECKED(call) do { call; if (QTest::currentTestFailed()) return; } while (false)

class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    explicit TestMainWindow(const QString& home) : home(home) {}

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
    void useFileFolder();
    void settings_data();
    void settings();
    void officeBox();
    void extraArguments();
    void helpAndMail();
    void outputFolderRefused();
    void runningStates();
    void endToEnd();
    void contextMenu_data();
    void contextMenu();

private:
    template <typename T = QWidget> T* get(const char* name) const;
    void newWindow();
    void sharedWindow();
    void select(const QString& path);
    void click(const char* button, QList<Popup>* popups = nullptr);
    void goToPage(int page, bool selectPaths = true);
    int page() const { return get<QToolBox>("toolBox")->currentIndex(); }
    QStringList ticked() const;
    QVariant widgetValue(const Binding& b) const;

    QString home;
    QTemporaryDir fixtures;
    QString thumbnail;  // an existing picture
    QString viewFolder; // files of several types and a sub-folder
    UrlRecorder opened;
    QList<Popup> startupPopups;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    // No test may touch the real settings.
    const QSettings settings(Names::Maker, Names::Product);
    QVERIFY2(settings.fileName().startsWith(home + QLatin1Char('/')),
             qPrintable(settings.fileName()));
    QVERIFY(fixtures.isValid());
    thumbnail = fixtures.filePath(QStringLiteral("a_1.png"));
    CHECKED(writeFile(thumbnail));
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

template <typename T> T* TestMainWindow::get(const char* name) const
{
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("The window has no %s named %s", T::staticMetaObject.className(), name);
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

// The window of the tests before, back on the first page (going back never warns).
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
    QVERIFY(model);
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
        auto* selection = get<QTreeView>("treeFiles")->selectionModel();
        if (current == 1 && selectPaths && !selection->hasSelection())
            CHECKED(select(viewFolder));
        auto* folder = get<QLineEdit>("lineOutputFolderImg");
        if (current == 3 && folder->text().isEmpty())
            folder->setText(fixtures.filePath(QStringLiteral("out")));
        CHECKED(click("buttonWizzardNext"));
        QCOMPARE(page(), current + 1);
    }
}

// The ticked entries of the file-type tree, in tree order.
QStringList TestMainWindow::ticked() const
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it) {
        if ((*it)->checkState(0) == Qt::Checked)
            texts << (*it)->text(0);
    }
    return texts;
}

QVariant TestMainWindow::widgetValue(const Binding& b) const
{
    if (b.key == QLatin1String("MVSFileTypes"))
        return ticked().join(QLatin1Char(','));
    if (b.key == QLatin1String("MVSOutputFormat")) {
        const QList<bool> on{get<QAbstractButton>("radioOutputBmp")->isChecked(),
                             get<QAbstractButton>("radioOutputJpeg")->isChecked(),
                             get<QAbstractButton>("radioOutputPng")->isChecked()};
        return on.count(true) == 1 ? on.indexOf(true) : -1;
    }
    return get(qPrintable(b.widget))->property(b.property.constData());
}

// Every page forward and back, its help page, and boxes wide enough for four digits.
void TestMainWindow::navigation()
{
    const QStringList help{"help-how-to-select-file-types.html",
                           "help-how-to-select-files-and-folders.html",
                           "help-how-to-appearance-options.html",
                           "help-how-thumbnails-output-options.html",
                           "help-how-to-generate-thumbnails.html"};
    const auto at = [&](int index) {
        QCOMPARE(page(), index);
        QCOMPARE(get<QStackedWidget>("stackedWidget")->currentIndex(), index);
        QCOMPARE(get("buttonWizzardBack")->isEnabled(), index != 0);
        QCOMPARE(get("buttonWizzardNext")->isEnabled(), index != 4);
        opened.urls.clear();
        QTest::mouseClick(get<QAbstractButton>("buttonWizzardHelp"), Qt::LeftButton);
        QCOMPARE(opened.urls.size(), 1);
        QCOMPARE(opened.urls.first().fileName(), help[index]);
    };
    CHECKED(sharedWindow());
    for (int index = 0; index < 5; ++index) {
        CHECKED(goToPage(index));
        CHECKED(at(index));
    }
    for (const QSpinBox* spin : window->findChildren<QSpinBox*>()) {
        const auto* edit = spin->findChild<QLineEdit*>();
        // The line edit keeps a margin of 2 pixels on each side.
        const int text = edit->fontMetrics().horizontalAdvance(QStringLiteral("1000"));
        const int room = edit->contentsRect().width() - 4;
        QVERIFY2(text <= room, qPrintable(QStringLiteral("%1: %2 > %3")
                                              .arg(spin->objectName()).arg(text).arg(room)));
    }
    // Back never warns, even with every page's input gone.
    for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it)
        (*it)->setCheckState(0, Qt::Unchecked);
    get<QTreeView>("treeFiles")->selectionModel()->clearSelection();
    get<QLineEdit>("lineOutputFolderImg")->clear();
    get<QLineEdit>("templateEdit")->clear();
    for (int index = 3; index >= 0; --index) {
        CHECKED(click("buttonWizzardBack"));
        CHECKED(at(index));
    }
    opened.urls.clear();
    get<QAction>("actionContents")->trigger();
    QCOMPARE(opened.urls.size(), 1);
    QCOMPARE(opened.urls.first().fileName(),
             QStringLiteral("help-introduction-system-requirements.html"));
    window.reset(); // nothing ticked is no start for the next test
}

void TestMainWindow::validators_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("cleared");   // no type ticked on page 0, no path selected on page 1
    QTest::addColumn<bool>("preselect"); // the files folder given as at start-up
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("nameFormat");
    QTest::addColumn<bool>("useFileFolder");
    QTest::addColumn<QStringList>("warnings");

    const QString out = QStringLiteral("/srv/out");
    QTest::addRow("no file type ticked")
        << 0 << true << false << out << DefaultTemplate << false << QStringList{TypeWarning};
    QTest::addRow("nothing selected in the folders tree")
        << 1 << true << false << out << DefaultTemplate << false << QStringList{PathWarning};
    QTest::addRow("paths given at start survive the first move forward")
        << 1 << false << true << out << DefaultTemplate << false << QStringList();
    QTest::addRow("options page accepts a first page beyond the last")
        << 2 << false << false << out << DefaultTemplate << false << QStringList();
    QTest::addRow("empty folder and name format warn in sequence")
        << 3 << false << false << QString() << QString() << false
        << QStringList{FolderWarning, TemplateWarning};
    QTest::addRow("empty folder") << 3 << false << false << QString() << DefaultTemplate << false
                                  << QStringList{FolderWarning};
    QTest::addRow("file folder used: only the name format can warn")
        << 3 << false << false << QString() << QString() << true << QStringList{TemplateWarning};
    QTest::addRow("only emptiness is checked")
        << 3 << false << false << "/no/such/folder" << "[" << false << QStringList();
}

void TestMainWindow::validators()
{
    QFETCH(int, page);
    QFETCH(bool, cleared);
    QFETCH(bool, preselect);
    QFETCH(QString, folder);
    QFETCH(QString, nameFormat);
    QFETCH(bool, useFileFolder);
    QFETCH(QStringList, warnings);

    CHECKED(newWindow());
    if (preselect)
        window->preselectPaths({viewFolder});
    CHECKED(goToPage(page, !preselect));
    if (cleared && page == 0) {
        for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it)
            (*it)->setCheckState(0, Qt::Unchecked);
    }
    if (cleared && page == 1)
        get<QTreeView>("treeFiles")->selectionModel()->clearSelection();
    get<QLineEdit>("lineOutputFolderImg")->setText(folder);
    get<QAbstractButton>("checkUserFileFolderImg")->setChecked(useFileFolder);
    get<QLineEdit>("templateEdit")->setText(nameFormat);
    get<QSpinBox>("pdfSpinPageFrom")->setValue(5);
    get<QSpinBox>("pdfSpinPageTo")->setValue(2);

    QList<Popup> popups;
    CHECKED(click("buttonWizzardNext", &popups));
    QStringList texts;
    for (const Popup& popup : popups) {
        texts << popup.text;
        QCOMPARE(popup.icon, QMessageBox::Warning);
        QCOMPARE(popup.parent, window.get());
    }
    QCOMPARE(texts, warnings);
    QCOMPARE(this->page(), warnings.isEmpty() ? page + 1 : page);
    QCOMPARE(get<QLineEdit>("lineOutputFolderImg")->text(), folder);
    QCOMPARE(get<QLineEdit>("templateEdit")->text(), nameFormat);
}

void TestMainWindow::nameFilters_data()
{
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QStringList>("visible");

    QStringList pictures;
    for (const QString& e : AllEntries.mid(27))
        pictures << QStringLiteral("*.") + e;
    QTest::addRow("only the pdf entry") << QStringList{AllEntries[25]} << QStringList{"*.pdf"}
                                        << QStringList{"a.pdf", "sub"};
    QTest::addRow("picture group") << QStringList(AllEntries.mid(26)) << pictures
                                   << QStringList{"b.png", "c.jpg", "sub"};
}

void TestMainWindow::nameFilters()
{
    QFETCH(QStringList, ticked);
    QFETCH(QStringList, filters);
    QFETCH(QStringList, visible);

    CHECKED(sharedWindow());
    for (QTreeWidgetItemIterator it(get<QTreeWidget>("treeFileTypes")); *it; ++it)
        (*it)->setCheckState(0, ticked.contains((*it)->text(0)) ? Qt::Checked : Qt::Unchecked);
    CHECKED(click("buttonWizzardNext"));
    auto* model = qobject_cast<QFileSystemModel*>(get<QTreeView>("treeFiles")->model());
    QVERIFY(model);
    QCOMPARE(model->nameFilters(), filters);
    const QModelIndex folder = model->index(viewFolder);
    QVERIFY(folder.isValid());
    model->fetchMore(folder);
    const auto shown = [&] {
        QStringList names;
        for (int row = 0; row < model->rowCount(folder); ++row)
            names << model->index(row, 0, folder).data().toString();
        return sorted(names);
    };
    QTRY_COMPARE(shown(), visible);
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
        QTest::addRow("%s inserts [%s] at the cursor", t[0], t[1])
            << QString(QStringLiteral("btnTemplate") + QLatin1String(t[0])) << "ab" << 1 << 0
            << QStringLiteral("a[%1]b").arg(QLatin1String(t[1]));
    }
    QTest::addRow("name over a selection") << "btnTemplateName" << "xabcy" << 4 << 3
                                           << "x[NAME]y";
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
    QTest::mouseClick(get<QAbstractButton>(qPrintable(button)), Qt::LeftButton);
    QCOMPARE(edit->text(), after);
}

// "Use file folder" disables the output folder, and keeps its text.
void TestMainWindow::useFileFolder()
{
    CHECKED(sharedWindow());
    CHECKED(goToPage(3));
    auto* check = get<QAbstractButton>("checkUserFileFolderImg");
    get<QLineEdit>("lineOutputFolderImg")->setText(QStringLiteral("/srv/out"));
    for (const bool on : {!check->isChecked(), check->isChecked()}) {
        check->click();
        QCOMPARE(get("lineOutputFolderImg")->isEnabled(), !on);
        QCOMPARE(get("btnOutputFolderImg")->isEnabled(), !on);
        QCOMPARE(get<QLineEdit>("lineOutputFolderImg")->text(), QStringLiteral("/srv/out"));
    }
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
                QCOMPARE(widgetValue(b).toString(), shown[b.key].toString());
        }
        QVERIFY(window->close());
        window.reset();
        const QSettings saved(Names::Maker, Names::Product);
        for (auto it = shown.cbegin(); it != shown.cend(); ++it)
            QCOMPARE(saved.value(it.key()).toString(), it.value().toString());
    }
}

// The office families missing here are disabled and named once in a box.
void TestMainWindow::officeBox()
{
    const bool available[] = {isWordAvailable(), isExcelAvailable(), isPowerPointAvailable()};
    const char* const groups[] = {"groupWordOptions", "groupExcelOptions",
                                  "groupPowerPointOptions"};
    const QStringList families{AllEntries[1], AllEntries[6], AllEntries[11]};
    QString missing;
    QStringList off;
    for (int i = 0; i < 3; ++i) {
        if (!available[i]) {
            missing += (i > 0 ? "\n" : "") + families[i];
            off += AllEntries.mid(AllEntries.indexOf(families[i]), i == 2 ? 3 : 5);
        }
    }
    CHECKED(newWindow());
    QCOMPARE(startupPopups.size(), missing.isEmpty() ? 0 : 1);
    if (!missing.isEmpty()) {
        const QString text = startupPopups.first().text;
        QVERIFY2(text.startsWith("The following components of Microsoft Office are missing on "
                                 "your system:\n" + missing + "\n\nPlease, install "),
                 qPrintable(text));
        QCOMPARE(startupPopups.first().icon, QMessageBox::Warning);
    }
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
    QTemporaryDir config; // the rest of the test's own home is shared
    const QString store = config.filePath(QStringLiteral("Tessarine/Miravel.conf"));
    // A box about missing office components would keep the program from getting ready.
    QSettings(store, QSettings::IniFormat).setValue(QStringLiteral("MVSOfficeWarningDontShow"),
                                                    true);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

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
    const QSettings saved(store, QSettings::IniFormat);
    QCOMPARE(saved.value(QStringLiteral("MVSNameFormat")).toString(), DefaultTemplate);
}

// The about box's link opens the mail program from the keyboard; where nothing can open help
// or mail, a box says so over the window that asked.
void TestMainWindow::helpAndMail()
{
    CHECKED(sharedWindow());
    const QList<Popup> popups = withPopups([this] { get<QAction>("actionAbout")->trigger(); },
                                           [&](QWidget* popup) {
        auto* label = popup->findChild<QLabel*>(QStringLiteral("label_2"));
        if (!label || !QTest::qWaitForWindowActive(popup))
            return;
        label->setFocus(Qt::TabFocusReason);
        QTest::keyClick(label, Qt::Key_Tab);
        QTest::keyClick(label, Qt::Key_Return);
    });
    QCOMPARE(popups.size(), 1);
    QCOMPARE(popups.first().type, QStringLiteral("AboutDialog"));
    const QUrl mail(QStringLiteral("mailto:") + QString::fromUtf8(MIRAVEL_SUPPORT_EMAIL));
    QCOMPARE(opened.urls, QList<QUrl>{mail});

    for (const char* scheme : {"file", "mailto"}) // the handler cannot be called
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "missing");
    AboutDialog about;
    const QList<Popup> failed = withPopups([&] {
        get<QAction>("actionContents")->trigger();
        emit about.findChild<QLabel*>(QStringLiteral("label_2"))->linkActivated(mail.toString());
    });
    for (const char* scheme : {"file", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "open");
    QCOMPARE(failed.size(), 2);
    QVERIFY(failed[0].text.contains(QStringLiteral("help-introduction-system-requirements.html")));
    QCOMPARE(failed[0].parent, window.get());
    QVERIFY(failed[1].text.contains(mail.toString()));
    QCOMPARE(failed[1].parent, &about);
}

// An output folder that cannot be made: a box naming it, and no job.
void TestMainWindow::outputFolderRefused()
{
    CHECKED(sharedWindow());
    CHECKED(goToPage(4));
    const QString output = thumbnail + QStringLiteral("/sub");
    get<QLineEdit>("lineOutputFolderImg")->setText(output);
    get<QLabel>("lblOutcome")->setText(QStringLiteral("previous"));
    QList<Popup> popups;
    CHECKED(click("btnGenerate", &popups));
    QCOMPARE(popups.size(), 1);
    QVERIFY2(popups[0].text.contains(output), qPrintable(popups[0].text));
    QCOMPARE(popups[0].parent, window.get());
    QVERIFY(get("btnGenerate")->isEnabled());
    QVERIFY(!get("btnStop")->isEnabled());
    QCOMPARE(get<QLabel>("lblOutcome")->text(), QStringLiteral("previous"));
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
    auto* progress = get<QProgressBar>("progressBar");
    progress->setValue(40);
    QSignalSpy values(progress, &QProgressBar::valueChanged);
    // The engine's reports wait in the event queue until the test waits.
    QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
    QCOMPARE(state(), QStringLiteral("gSB W"));
    QTest::mouseClick(get<QAbstractButton>("btnBackground"), Qt::LeftButton);
    QCOMPARE(state(), QStringLiteral("gSB M"));
    QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
    QCOMPARE(state(), QStringLiteral("Gsb M"));
    // Four files of the view folder: the bar moves as each starts.
    QList<int> moves;
    for (const QList<QVariant>& v : values)
        moves << v.first().toInt();
    QCOMPARE(moves, (QList<int>{0, 25, 50, 75, 100}));
    QVERIFY(get<QLabel>("lblOutcome")->text().startsWith(QStringLiteral("Finished. ")));

    // Stop: 0 at once; Generate waits for the end of the stopped job.
    window->showNormal();
    QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
    QTest::mouseClick(get<QAbstractButton>("btnStop"), Qt::LeftButton);
    QCOMPARE(state(), QStringLiteral("gsb W"));
    QCOMPARE(progress->value(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
    QCOMPARE(progress->value(), 0);
    QVERIFY2(get<QLabel>("lblOutcome")->text().startsWith(QStringLiteral("Stopped. ")),
             qPrintable(get<QLabel>("lblOutcome")->text()));
}

// The user's way through every page, the real engine and pdftopng.
void TestMainWindow::endToEnd()
{
    QVERIFY2(QFileInfo(QCoreApplication::applicationDirPath()
                       + QStringLiteral("/pdf2png/pdftopng")).isExecutable(),
             "pdftopng is not built beside the test");

    const QDir in(fixtures.filePath(QStringLiteral("in")));
    // Generate makes the output folder with its parents.
    const QDir out(fixtures.filePath(QStringLiteral("made/new")));
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
    QStringList thumbnails;
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
    QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString());
    for (QString& line : lines)
        line = QFileInfo(line).fileName();
    QCOMPARE(lines, thumbnails);
}

void TestMainWindow::contextMenu_data()
{
    QTest::addColumn<int>("row");        // the clicked line: 0 a source, 1 its thumbnail, -1 none
    QTest::addColumn<bool>("generate");  // Generate pressed first: the list is emptied
    QTest::addColumn<QString>("action"); // clicked in the menu
    QTest::addColumn<bool>("copies");    // the clicked line's text goes to the clipboard

    QTest::addRow("copy on a source") << 0 << false << "Copy file name" << true;
    QTest::addRow("copy on a thumbnail") << 1 << false << "Copy file name" << true;
    QTest::addRow("go to file opens its folder") << 1 << false << "Go to File" << false;
    QTest::addRow("no menu on empty space") << -1 << false << "Copy file name" << false;
    QTest::addRow("generate forgets the item, no menu on the empty list")
        << 1 << true << "Copy file name" << false;
}

void TestMainWindow::contextMenu()
{
    QFETCH(int, row);
    QFETCH(bool, generate);
    QFETCH(QString, action);
    QFETCH(bool, copies);

    auto* tree = window ? get<QTreeWidget>("treeThumbnails") : nullptr;
    if (!tree || tree->topLevelItemCount() == 0) // run alone: the list of a real job
        CHECKED(endToEnd());
    tree = get<QTreeWidget>("treeThumbnails");
    tree->expandAll();
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < tree->topLevelItemCount() && !item; ++i) {
        if (tree->topLevelItem(i)->childCount() > 0)
            item = row == 0 ? tree->topLevelItem(i) : tree->topLevelItem(i)->child(0);
    }
    const QString text = item->text(0);
    const QPoint pos = row >= 0 ? tree->visualItemRect(item).center()
                                : QPoint(10, tree->viewport()->height() - 5);
    if (generate) { // the menu opens on the same item first
        withPopups([&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->mapToGlobal(pos));
            QApplication::sendEvent(tree->viewport(), &event);
        });
        QTest::mouseClick(get<QAbstractButton>("btnGenerate"), Qt::LeftButton);
    }
    QApplication::clipboard()->setText(QStringLiteral("previous"));
    QWidget* viewport = tree->viewport();
    const QList<Popup> popups = withPopups(
        [&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
            QApplication::sendEvent(viewport, &event);
        },
        [&](QWidget* popup) {
            auto* menu = qobject_cast<QMenu*>(popup);
            for (QAction* entry : menu ? menu->actions() : QList<QAction*>()) {
                if (entry->text() == action)
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(entry).center());
            }
        });
    QCOMPARE(popups.size(), row >= 0 && !generate ? 1 : 0);
    if (generate) {
        // Only the item the menu remembered could be copied or shown; it is gone.
        get<QAction>("actionCopy_File_Path")->trigger();
        get<QAction>("actionGo_to_File")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(get("btnGenerate")->isEnabled(), 60000);
    }
    const bool goes = action == QLatin1String("Go to File") && row >= 0;
    QCOMPARE(opened.urls, goes ? QList<QUrl>{QUrl::fromLocalFile(QFileInfo(text).path())}
                               : QList<QUrl>());
    QCOMPARE(QApplication::clipboard()->text(), copies ? text : QStringLiteral("previous"));
}

int main(int argc, char* argv[])
{
    // Settings, working folder and desktop services all live in a throw-away home.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const QDir homeDir(home.path());
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* folder : {"CONFIG_HOME", "DATA_HOME", "CACHE_HOME", "RUNTIME_DIR"}) {
        const QString path = homeDir.filePath(QString::fromLatin1(folder).toLower());
        homeDir.mkpath(path);
        qputenv(QByteArray("XDG_").append(folder).constData(), QFile::encodeName(path));
    }
    QFile::setPermissions(homeDir.filePath(QStringLiteral("runtime_dir")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // No session bus: "Go to File" takes its fallback, and no real file manager is asked.
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            "unix:path=" + QFile::encodeName(homeDir.filePath(QStringLiteral("no-bus"))));
    QStandardPaths::setTestModeEnabled(true);

    // The window's images live in a static library.
    Q_INIT_RESOURCE(res);

    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);

    TestMainWindow test(home.path());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
