#include "AboutDialog.h"
#include "BuildSettings.h"
#include "MainWindow.h"
#include "ui_MainWindow.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

namespace {

const QString Maker = QStringLiteral("Tessarine");
const QString Product = QStringLiteral("Miravel");
const QString DefaultTemplate = QStringLiteral("thumbnail_[NAME]_[PAGE]");
const QStringList DefaultExtensions = {
    "doc", "docx", "rtf", "odt", "xls", "xlsx", "xlsm", "ods", "ppt", "pptx",
    "txt", "xml", "log", "ans", "asc", "csv", "nfo", "1st", "bat", "info",
    "pdf", "jpg", "jpeg", "jpe", "jif", "jfif", "jfi", "png", "ppm", "pgm",
    "pbm", "pnm", "tiff", "tif", "gif", "bmp", "dib", "xbm", "xpm"};
const QString OfficeIntro =
    QStringLiteral("The following components of Microsoft Office are missing on your system:\n");
const QString NoTypeWarning = QStringLiteral("Please select at least one file type from the list.");
const QString NoPathWarning =
    QStringLiteral("Please select at least one item from the folders tree");
const QString NoFolderWarning = QStringLiteral("Please specifiy thumbnails output folder.");
const QString NoTemplateWarning =
    QStringLiteral("Please specifiy thumbnails output name format.");
const QStringList MenuActions = {"Go to File", "Copy file name", "Copy all file names"};

// What a modal box or menu showed before the test closed it.
struct Popup
{
    QString className;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons standardButtons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QStringList otherButtons;
    QStringList actions;
    const QWidget* parent = nullptr;
    Qt::WindowFlags flags;
    QSize size;
    QSize minimumSize;
    QSize maximumSize;
};

Popup describe(QWidget* widget)
{
    Popup popup;
    popup.className = QString::fromLatin1(widget->metaObject()->className());
    popup.title = widget->windowTitle();
    popup.parent = widget->parentWidget();
    popup.flags = widget->windowFlags();
    popup.size = widget->size();
    popup.minimumSize = widget->minimumSize();
    popup.maximumSize = widget->maximumSize();
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        popup.text = box->text();
        popup.icon = box->icon();
        popup.standardButtons = box->standardButtons();
        if (box->defaultButton())
            popup.defaultButton = box->standardButton(box->defaultButton());
        for (QAbstractButton* button : box->buttons()) {
            if (box->standardButton(button) == QMessageBox::NoButton)
                popup.otherButtons << button->text();
        }
    } else if (auto* menu = qobject_cast<QMenu*>(widget)) {
        for (const QAction* action : menu->actions())
            popup.actions << action->text();
    }
    return popup;
}

void dismiss(QWidget* widget)
{
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->done(0);
    } else if (auto* dialog = qobject_cast<QDialog*>(widget)) {
        dialog->reject();
    } else {
        widget->close();
    }
}

using PopupAction = std::function<void(QWidget*)>;

// Runs `call`; every modal box or menu it opens is recorded, handed to `act` and, if still
// open, closed. Nothing is left open: a box that resists is hidden after a bound.
QList<Popup> withPopups(const std::function<void()>& call, const PopupAction& act = {})
{
    QList<Popup> seen;
    QPointer<QWidget> current;
    int ticks = 0;
    QTimer poll;
    poll.setInterval(5);
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
        seen << describe(popup);
        if (act)
            act(popup);
        if (current && current->isVisible())
            dismiss(current);
    });
    poll.start();
    call();
    poll.stop();
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

const QStringList HandledSchemes = {"file", "mailto", "http", "https"};

// The settings bound to plain widget properties; an empty widget name is the format radios.
struct Binding
{
    QString key;
    QString widget;
    QByteArray property;
    QVariant byDefault;
    QVariant changed;
};

QList<Binding> bindings()
{
    QList<Binding> list{{"MVSLookRecursive", "chkRecursive", "checked", true, false}};
    struct Family
    {
        QString prefix;
        QString spin;
        QString keep;
        bool pages;
        int base;
    };
    const QList<Family> families{
        {"MVSWord", "word", "wordCheckKeepAspectRatio", true, 100},
        {"MVSExcel", "excel", "excelCheckKeepAspectRatio", true, 110},
        {"MVSPowerPoint", "ppoint", "pptCheckKeepAspectRatio", true, 120},
        {"MVSPdf", "pdf", "pdfCheckKeepAspectRatio", true, 130},
        {"MVSPicture", "pic", "picCheckKeepAspectRatio", false, 140}};
    for (const Family& f : families) {
        list << Binding{f.prefix + "MVSWidth", f.spin + "SpinThumbWidth", "value", 200, f.base + 1};
        list << Binding{f.prefix + "MVSHeight", f.spin + "SpinThumbHeight", "value", 200,
                        f.base + 2};
        if (f.pages) {
            list << Binding{f.prefix + "MVSPStart", f.spin + "SpinPageFrom", "value", 1,
                            f.base / 10 - 7};
            list << Binding{f.prefix + "MVSPEnd", f.spin + "SpinPageTo", "value", 1,
                            f.base / 10 + 7};
        }
        list << Binding{f.prefix + "MVSKeepAspectRatio", f.keep, "checked", true, false};
    }
    list << Binding{"MVSOutputFormat", {}, {}, 2, 0};
    list << Binding{"MVSOutputFolder", "lineOutputFolderImg", "text", QString(),
                    "/srv/thumbnails"};
    list << Binding{"MVSUseFileFolder", "checkUserFileFolderImg", "checked", false, true};
    list << Binding{"MVSNameFormat", "templateEdit", "text", DefaultTemplate, "[CDATE]_[NAME]"};
    return list;
}

Binding binding(const QString& key)
{
    for (const Binding& b : bindings()) {
        if (b.key == key)
            return b;
    }
    return {};
}

void writePicture(const QString& path)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QVERIFY(image.save(path));
}

void writePdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A6));
    QPainter painter(&writer);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            QVERIFY(writer.newPage());
        painter.drawText(QPointF(200, 400), QStringLiteral("Page %1").arg(page));
    }
    QVERIFY(painter.end());
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(text), qint64(text.size()));
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// The office families that cannot be driven here, with their extensions; the window
// disables them at start-up.
QMap<QString, QStringList> missingFamilies()
{
    QMap<QString, QStringList> missing;
    if (!isWordAvailable())
        missing.insert(QStringLiteral("Microsoft Word"), DefaultExtensions.mid(0, 4));
    if (!isExcelAvailable())
        missing.insert(QStringLiteral("Microsoft Excel"), DefaultExtensions.mid(4, 4));
    if (!isPowerPointAvailable())
        missing.insert(QStringLiteral("Microsoft PowerPoint"), DefaultExtensions.mid(8, 2));
    return missing;
}

// The default extensions less those of missing office families.
QStringList availableExtensions()
{
    QStringList extensions = DefaultExtensions;
    for (const QStringList& family : missingFamilies()) {
        for (const QString& e : family)
            extensions.removeOne(e);
    }
    return extensions;
}

// Clicks a check box where its indicator is drawn.
void clickCheckBox(QCheckBox* check)
{
    QStyleOptionButton option;
    option.initFrom(check);
    option.text = check->text();
    const QRect box = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
    QTest::mouseClick(check, Qt::LeftButton, {}, box.center());
}

} // namespace

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)

// Stops a test function when a helper it called has failed.
#define CHECKED(call)                                                                            \
    do {                                                                                         \
        call;                                                                                    \
        if (QTest::currentTestFailed())                                                          \
            return;                                                                              \
    } while (false)

class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    explicit TestMainWindow(const QString& home)
        : home(home)
    {
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    // Wizard
    void startsOnFirstPage();
    void texts_data();
    void texts();
    void navigation_data();
    void navigation();
    void validators_data();
    void validators();
    void backNeverWarns_data();
    void backNeverWarns();
    void nameFiltersReachView_data();
    void nameFiltersReachView();
    void selectionAcrossPages();
    void selectedPaths_data();
    void selectedPaths();
    void helpButton_data();
    void helpButton();
    void onlineHelp();
    void aboutBox();
    void officeBox_data();
    void officeBox();
    void officeBoxSuppressed();
    void programIgnoresExtraArguments();

    // Options and settings
    void firstStartDefaults_data();
    void firstStartDefaults();
    void firstStartFileTypes();
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void fileTypesRoundTrip();
    void disabledGroupsAreSaved();
    void storedValues_data();
    void storedValues();
    void templateTokens_data();
    void templateTokens();
    void templateReset_data();
    void templateReset();
    void useFileFolder_data();
    void useFileFolder();
    void outputFolderDialog_data();
    void outputFolderDialog();

    // Generation
    void buildJob_data();
    void buildJob();
    void progress_data();
    void progress();
    void stopKeepsProgressAtZero();
    void statusMessages();
    void results();
    void copyAllFileNames_data();
    void copyAllFileNames();
    void contextMenu_data();
    void contextMenu();
    void goToFile_data();
    void goToFile();
    void generateForgetsContextItem();
    void backgroundAndTray_data();
    void backgroundAndTray();
    void trayActivation_data();
    void trayActivation();
    void closeSavesAndStops();
    void endToEnd();

private:
    void newWindow();
    void clearSettings();
    void runProgram(const QStringList& arguments, QMap<QString, QString>* saved);
    Ui::MainWindow* ui() const { return window->ui; }
    QFileSystemModel* fileModel() const;
    void select(const QString& path, int column = 0);
    void clickNext(QList<Popup>* popups = nullptr);
    void clickBack(QList<Popup>* popups = nullptr);
    void goToPage(int page);
    void tickOnly(const QStringList& entries);
    void disconnectEngine();
    void addResult(const QString& source, const QStringList& thumbnails);
    void requestContextMenu(const QPoint& pos, QList<Popup>* popups,
                            const QString& clickAction = QString());
    QVariant widgetValue(const Binding& b) const;
    void setWidgetValue(const Binding& b, const QVariant& value);
    int checkedFormat() const;

    QString home;
    QTemporaryDir fixtures;
    QString emptyFolder;
    UrlRecorder opened;
    QList<Popup> startupPopups;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    // No test may touch the real settings.
    const QSettings settings(Maker, Product);
    QVERIFY2(settings.fileName().startsWith(home + QLatin1Char('/')),
             qPrintable(settings.fileName()));
    QVERIFY(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                .startsWith(home + QLatin1Char('/')));

    QVERIFY(fixtures.isValid());
    emptyFolder = fixtures.filePath(QStringLiteral("empty"));
    QVERIFY(QDir().mkpath(emptyFolder));
    for (const QString& scheme : HandledSchemes)
        QDesktopServices::setUrlHandler(scheme, &opened, "open");
}

void TestMainWindow::cleanupTestCase()
{
    for (const QString& scheme : HandledSchemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void TestMainWindow::init()
{
    clearSettings();
    opened.urls.clear();
    QApplication::clipboard()->clear();
}

void TestMainWindow::cleanup()
{
    window.reset();
}

void TestMainWindow::clearSettings()
{
    QSettings settings(Maker, Product);
    settings.clear();
    settings.sync();
}

void TestMainWindow::newWindow()
{
    window.reset();
    // A box about missing office components may come up while the window is built.
    startupPopups = withPopups([this] { window = std::make_unique<MainWindow>(); });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

QFileSystemModel* TestMainWindow::fileModel() const
{
    return qobject_cast<QFileSystemModel*>(ui()->treeFiles->model());
}

void TestMainWindow::select(const QString& path, int column)
{
    QFileSystemModel* model = fileModel();
    QVERIFY(model);
    QTRY_VERIFY(model->index(path, column).isValid());
    ui()->treeFiles->selectionModel()->select(model->index(path, column),
                                              QItemSelectionModel::Select);
}

void TestMainWindow::clickNext(QList<Popup>* popups)
{
    const QList<Popup> seen = withPopups(
        [this] { QTest::mouseClick(ui()->buttonWizzardNext, Qt::LeftButton); });
    if (popups)
        *popups = seen;
    else
        QCOMPARE(seen.size(), 0);
}

void TestMainWindow::clickBack(QList<Popup>* popups)
{
    const QList<Popup> seen = withPopups(
        [this] { QTest::mouseClick(ui()->buttonWizzardBack, Qt::LeftButton); });
    if (popups)
        *popups = seen;
    else
        QCOMPARE(seen.size(), 0);
}

// Moves forward from the current page with input that every page accepts.
void TestMainWindow::goToPage(int page)
{
    while (ui()->toolBox->currentIndex() < page) {
        const int current = ui()->toolBox->currentIndex();
        if (current == 1 && window->filesFoldersPage.selectedPaths().isEmpty())
            CHECKED(select(emptyFolder));
        if (current == 3 && ui()->lineOutputFolderImg->text().isEmpty())
            ui()->lineOutputFolderImg->setText(fixtures.filePath(QStringLiteral("out")));
        CHECKED(clickNext());
        QCOMPARE(ui()->toolBox->currentIndex(), current + 1);
    }
}

// Ticks exactly the named entries of the file-type tree, as clicks would.
void TestMainWindow::tickOnly(const QStringList& entries)
{
    QTreeWidget* tree = ui()->treeFileTypes;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        tree->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        emit tree->itemClicked(tree->topLevelItem(i), 0);
    }
    for (const QString& entry : entries) {
        const auto found = tree->findItems(entry, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        QVERIFY2(!found.first()->isDisabled(), qPrintable(entry));
        found.first()->setCheckState(0, Qt::Checked);
        emit tree->itemClicked(found.first(), 0);
    }
}

// The window then hears nothing from the engine; the test plays the engine's part.
void TestMainWindow::disconnectEngine()
{
    QVERIFY(QObject::disconnect(&window->engine, nullptr, window.get(), nullptr));
}

void TestMainWindow::addResult(const QString& source, const QStringList& thumbnails)
{
    ThumbEngine::ThumbnailFiles files;
    files.insert(source, QSet<QString>(thumbnails.cbegin(), thumbnails.cend()));
    window->onGenerated(files);
}

// A right click in the results list; `clickAction` names the menu entry to click, if any.
void TestMainWindow::requestContextMenu(const QPoint& pos, QList<Popup>* popups,
                                        const QString& clickAction)
{
    QWidget* viewport = ui()->treeThumbnails->viewport();
    *popups = withPopups(
        [&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
            QApplication::sendEvent(viewport, &event);
        },
        [&](QWidget* popup) {
            auto* menu = qobject_cast<QMenu*>(popup);
            if (!menu || clickAction.isEmpty())
                return;
            for (QAction* action : menu->actions()) {
                if (action->text() == clickAction) {
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(action).center());
                    break;
                }
            }
        });
}

int TestMainWindow::checkedFormat() const
{
    const int checked = int(ui()->radioOutputBmp->isChecked())
                        + int(ui()->radioOutputJpeg->isChecked())
                        + int(ui()->radioOutputPng->isChecked());
    if (checked != 1)
        return -1;
    return ui()->radioOutputBmp->isChecked() ? 0 : ui()->radioOutputJpeg->isChecked() ? 1 : 2;
}

QVariant TestMainWindow::widgetValue(const Binding& b) const
{
    if (b.widget.isEmpty())
        return checkedFormat();
    const QWidget* widget = window->findChild<QWidget*>(b.widget);
    return widget ? widget->property(b.property.constData()) : QVariant();
}

void TestMainWindow::setWidgetValue(const Binding& b, const QVariant& value)
{
    if (b.widget.isEmpty()) {
        QRadioButton* radios[] = {ui()->radioOutputBmp, ui()->radioOutputJpeg,
                                  ui()->radioOutputPng};
        radios[value.toInt()]->setChecked(true);
        return;
    }
    QWidget* widget = window->findChild<QWidget*>(b.widget);
    QVERIFY2(widget, qPrintable(b.widget));
    QVERIFY(widget->setProperty(b.property.constData(), value));
}

// ---------------------------------------------------------------------------------------
// Wizard

void TestMainWindow::startsOnFirstPage()
{
    CHECKED(newWindow());
    QCOMPARE(ui()->toolBox->currentIndex(), 0);
    QCOMPARE(ui()->stackedWidget->currentIndex(), 0);
    QCOMPARE(ui()->stackedWidget->currentWidget(), ui()->pageFileTypes);
    QVERIFY(!ui()->buttonWizzardBack->isEnabled());
    QVERIFY(ui()->buttonWizzardNext->isEnabled());
    QVERIFY(!ui()->toolBox->isEnabled());
    QVERIFY(window->engine.isRunning());

    // Start-up warns once about the office families that cannot be driven here.
    const QStringList missing = missingFamilies().keys();
    if (missing.isEmpty()) {
        QCOMPARE(startupPopups.size(), 0);
    } else {
        QCOMPARE(startupPopups.size(), 1);
        QVERIFY(startupPopups.first().text.startsWith(OfficeIntro));
        for (const QString& family : missing)
            QVERIFY(startupPopups.first().text.contains(family));
    }
}

void TestMainWindow::texts_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("property"); // "itemN": tool-box item N; "actions": a menu's
    QTest::addColumn<QString>("expected");

    QTest::addRow("window title")
        << "MainWindow" << QByteArray("windowTitle")
        << "Miravel - Batch Thumbnail Generator for Documents and Pictures";
    const QStringList steps{"File Types", "Files and Foldes", "Thumbnails Options",
                            "Output Names Options", "Generate Thumbnails"};
    for (int i = 0; i < steps.size(); ++i)
        QTest::addRow("step %d", i) << "toolBox" << QByteArray("item") + QByteArray::number(i)
                                    << steps[i];
    const QList<QPair<const char*, const char*>> texts{
        {"buttonWizzardHelp", "Help"},
        {"buttonWizzardBack", "< Back"},
        {"buttonWizzardNext", "Next >"},
        {"actionContents", "Online Help"},
        {"actionAbout", "About Miravel"},
        {"actionGo_to_File", "Go to File"},
        {"actionCopy_File_Path", "Copy file name"},
        {"actionCopy_All_File_Names", "Copy all file names"},
        {"btnGenerate", "Generate"},
        {"btnStop", "Stop"},
        {"btnBackground", "Background"},
        {"chkRecursive", "Always look in subdirectories"},
        {"checkUserFileFolderImg", "Use file folder"},
        {"radioOutputPng", "PNG"},
        {"radioOutputJpeg", "JPEG"},
        {"radioOutputBmp", "BMP"}};
    for (const auto& t : texts)
        QTest::addRow("%s", t.first) << t.first << QByteArray("text") << t.second;
    QTest::addRow("help menu") << "menuHelp" << QByteArray("title") << "Help";
    QTest::addRow("help menu entries") << "menuHelp" << QByteArray("actions")
                                       << "Online Help|About Miravel";
    QTest::addRow("folder placeholder") << "lineOutputFolderImg" << QByteArray("placeholderText")
                                        << "Press button to select output folder...";
    QTest::addRow("pdf group") << "groupBox_6" << QByteArray("title") << "PDF thumbnail size";
    QTest::addRow("picture group")
        << "groupBox_5" << QByteArray("title") << "Picture thumbnail size";
}

void TestMainWindow::texts()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, property);
    QFETCH(QString, expected);

    CHECKED(newWindow());
    QObject* target = object == QLatin1String("MainWindow")
                          ? window.get()
                          : window->findChild<QObject*>(object);
    QVERIFY2(target, qPrintable(object));
    QString actual;
    if (property.startsWith("item")) {
        actual = ui()->toolBox->itemText(property.mid(4).toInt());
    } else if (property == "actions") {
        QStringList names;
        for (const QAction* action : qobject_cast<QMenu*>(target)->actions())
            names << action->text();
        actual = names.join(QLatin1Char('|'));
    } else {
        actual = target->property(property.constData()).toString();
    }
    QCOMPARE(actual, expected);
}

void TestMainWindow::navigation_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("pages");

    QTest::addRow("forward through every page")
        << QStringList{"next", "next", "next", "next"} << QList<int>{1, 2, 3, 4};
    QTest::addRow("back to the first page")
        << QStringList{"next", "back"} << QList<int>{1, 0};
    QTest::addRow("back from the last page")
        << QStringList{"next", "next", "next", "next", "back"} << QList<int>{1, 2, 3, 4, 3};
    QTest::addRow("all the way there and back")
        << QStringList{"next", "next", "next", "next", "back", "back", "back", "back"}
        << QList<int>{1, 2, 3, 4, 3, 2, 1, 0};
    QTest::addRow("back and forth in the middle")
        << QStringList{"next", "next", "back", "next", "next", "back"}
        << QList<int>{1, 2, 1, 2, 3, 2};
}

void TestMainWindow::navigation()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, pages);

    CHECKED(newWindow());
    for (int i = 0; i < steps.size(); ++i) {
        const int before = ui()->toolBox->currentIndex();
        if (steps[i] == QLatin1String("next"))
            CHECKED(goToPage(before + 1));
        else
            CHECKED(clickBack());
        const int page = pages[i];
        QCOMPARE(ui()->toolBox->currentIndex(), page);
        QCOMPARE(ui()->stackedWidget->currentIndex(), page);
        QCOMPARE(ui()->buttonWizzardBack->isEnabled(), page != 0);
        QCOMPARE(ui()->buttonWizzardNext->isEnabled(), page != 4);
    }
}

void TestMainWindow::validators_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("anyType");
    QTest::addColumn<bool>("anyPath");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("useFileFolder");
    QTest::addColumn<QString>("nameFormat");
    QTest::addColumn<QStringList>("warnings");

    const QString folder = QStringLiteral("/srv/out");
    QTest::addRow("no file type ticked")
        << 0 << false << true << folder << false << DefaultTemplate
        << QStringList{NoTypeWarning};
    QTest::addRow("nothing selected in the folders tree")
        << 1 << true << false << folder << false << DefaultTemplate
        << QStringList{NoPathWarning};
    QTest::addRow("options page never refused")
        << 2 << true << true << folder << false << DefaultTemplate << QStringList();
    QTest::addRow("empty folder and empty name format warn twice")
        << 3 << true << true << QString() << false << QString()
        << QStringList{NoFolderWarning, NoTemplateWarning};
    QTest::addRow("empty folder")
        << 3 << true << true << QString() << false << DefaultTemplate
        << QStringList{NoFolderWarning};
    QTest::addRow("empty name format")
        << 3 << true << true << folder << false << QString() << QStringList{NoTemplateWarning};
    QTest::addRow("file folder used, everything empty, only the name format warns")
        << 3 << true << true << QString() << true << QString()
        << QStringList{NoTemplateWarning};
    QTest::addRow("file folder used with an empty folder")
        << 3 << true << true << QString() << true << DefaultTemplate << QStringList();
    QTest::addRow("folder not checked for existence")
        << 3 << true << true << "/no/such/folder" << false << "[" << QStringList();
}

void TestMainWindow::validators()
{
    QFETCH(int, page);
    QFETCH(bool, anyType);
    QFETCH(bool, anyPath);
    QFETCH(QString, folder);
    QFETCH(bool, useFileFolder);
    QFETCH(QString, nameFormat);
    QFETCH(QStringList, warnings);

    CHECKED(newWindow());
    CHECKED(goToPage(page));
    if (!anyType)
        CHECKED(tickOnly({}));
    if (!anyPath)
        ui()->treeFiles->selectionModel()->clearSelection();
    ui()->lineOutputFolderImg->setText(folder);
    ui()->checkUserFileFolderImg->setChecked(useFileFolder);
    ui()->templateEdit->setText(nameFormat);
    // A first page beyond the last one is no reason to stay.
    ui()->pdfSpinPageFrom->setValue(5);
    ui()->pdfSpinPageTo->setValue(2);

    QList<Popup> popups;
    CHECKED(clickNext(&popups));
    QStringList texts;
    for (const Popup& popup : popups) {
        texts << popup.text;
        QCOMPARE(popup.className, QStringLiteral("QMessageBox"));
        QCOMPARE(popup.title, QStringLiteral("Miravel"));
        QCOMPARE(popup.icon, QMessageBox::Warning);
        QCOMPARE(popup.standardButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(popup.otherButtons.isEmpty());
        QCOMPARE(popup.parent, window.get());
    }
    QCOMPARE(texts, warnings);
    const int expected = warnings.isEmpty() ? page + 1 : page;
    QCOMPARE(ui()->toolBox->currentIndex(), expected);
    QCOMPARE(ui()->stackedWidget->currentIndex(), expected);
    // The page's entries stay as they were.
    QCOMPARE(ui()->lineOutputFolderImg->text(), folder);
    QCOMPARE(ui()->templateEdit->text(), nameFormat);
}

void TestMainWindow::backNeverWarns_data()
{
    QTest::addColumn<int>("page");
    for (int page = 1; page <= 4; ++page)
        QTest::addRow("from page %d with every page incomplete", page) << page;
}

void TestMainWindow::backNeverWarns()
{
    QFETCH(int, page);

    CHECKED(newWindow());
    CHECKED(goToPage(page));
    CHECKED(tickOnly({}));
    ui()->treeFiles->selectionModel()->clearSelection();
    ui()->lineOutputFolderImg->clear();
    ui()->templateEdit->clear();
    for (int expected = page - 1; expected >= 0; --expected) {
        CHECKED(clickBack());
        QCOMPARE(ui()->toolBox->currentIndex(), expected);
    }
    QVERIFY(!ui()->buttonWizzardBack->isEnabled());
    // Back is disabled on the first page: a click does nothing.
    CHECKED(clickBack());
    QCOMPARE(ui()->toolBox->currentIndex(), 0);
}

void TestMainWindow::nameFiltersReachView_data()
{
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QStringList>("visible");

    QStringList all;
    QStringList documents;
    for (const QString& e : availableExtensions()) {
        all << QStringLiteral("*.") + e;
        if (DefaultExtensions.indexOf(e) <= DefaultExtensions.indexOf(QStringLiteral("pdf")))
            documents << QStringLiteral("*.") + e;
    }
    const QStringList word = missingFamilies().contains(QStringLiteral("Microsoft Word"))
                                 ? QStringList()
                                 : QStringList{"e.docx"};
    QTest::addRow("only the pdf entry")
        << QStringList{"Portable Document Format (PDF)"} << QStringList{"*.pdf"}
        << QStringList{"a.pdf", "sub"};
    QTest::addRow("every type") << QStringList{"Documents", "Pictures"} << all
                                << sorted(QStringList{"a.pdf", "b.png", "c.jpg", "d.txt", "sub"}
                                          + word);
    QTest::addRow("pictures unticked") << QStringList{"Documents"} << documents
                                       << sorted(QStringList{"a.pdf", "d.txt", "sub"} + word);
    QTest::addRow("one extension") << QStringList{"jpg"} << QStringList{"*.jpg"}
                                   << QStringList{"c.jpg", "sub"};
}

void TestMainWindow::nameFiltersReachView()
{
    QFETCH(QStringList, ticked);
    QFETCH(QStringList, filters);
    QFETCH(QStringList, visible);

    QTemporaryDir data;
    const QDir dir(data.path());
    for (const char* name : {"a.pdf", "b.png", "c.jpg", "d.txt", "e.docx", "f.xyz", "noext"})
        CHECKED(writeText(dir.filePath(QLatin1String(name)), "x"));
    QVERIFY(dir.mkdir(QStringLiteral("sub")));

    CHECKED(newWindow());
    CHECKED(tickOnly(ticked));
    const QFileSystemModel* before = fileModel();
    CHECKED(clickNext());
    QFileSystemModel* model = fileModel();
    QVERIFY(model != before);
    QCOMPARE(model->nameFilters(), filters);
    QVERIFY(!model->nameFilterDisables());
    QCOMPARE(model->rootPath(), QDir::rootPath());
    QVERIFY(!ui()->treeFiles->rootIndex().isValid());
    // Every new model keeps the view's set-up.
    const QTreeView* view = ui()->treeFiles;
    QCOMPARE(view->header()->sectionResizeMode(0), QHeaderView::ResizeToContents);
    QVERIFY(view->header()->stretchLastSection());
    QVERIFY(!view->isAnimated());
    QCOMPARE(view->selectionMode(), QAbstractItemView::MultiSelection);
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectItems);

    const QModelIndex folder = model->index(data.path());
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

void TestMainWindow::selectionAcrossPages()
{
    CHECKED(newWindow());
    CHECKED(goToPage(1));
    CHECKED(select(fixtures.path()));
    const QStringList chosen{fixtures.path()};
    QCOMPARE(window->filesFoldersPage.selectedPaths(), chosen);

    // Back from the options page keeps the selection.
    CHECKED(clickNext());
    CHECKED(clickBack());
    QCOMPARE(window->filesFoldersPage.selectedPaths(), chosen);

    // Back to the types page and forward again rebuilds the view.
    CHECKED(clickBack());
    CHECKED(clickNext());
    QVERIFY(window->filesFoldersPage.selectedPaths().isEmpty());
    QList<Popup> popups;
    CHECKED(clickNext(&popups));
    QCOMPARE(popups.size(), 1);
    QCOMPARE(popups.first().text, NoPathWarning);
}

void TestMainWindow::selectedPaths_data()
{
    // Cells as "path relative to the fixture folder@column".
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("nothing") << QStringList() << QStringList();
    QTest::addRow("one file") << QStringList{"dir/a.txt@0"} << QStringList{"dir/a.txt"};
    QTest::addRow("name and size cells of one file give its path twice")
        << QStringList{"dir/a.txt@0", "dir/a.txt@1"} << QStringList{"dir/a.txt", "dir/a.txt"};
    QTest::addRow("a folder") << QStringList{"dir@0"} << QStringList{"dir"};
    QTest::addRow("a folder and a file inside it")
        << QStringList{"dir@0", "dir/a.txt@0"} << QStringList{"dir", "dir/a.txt"};
    QTest::addRow("two files") << QStringList{"dir/a.txt@3", "dir/b.txt@2"}
                               << QStringList{"dir/a.txt", "dir/b.txt"};
}

void TestMainWindow::selectedPaths()
{
    QFETCH(QStringList, cells);
    QFETCH(QStringList, expected);

    QTemporaryDir data;
    const QDir dir(data.path());
    QVERIFY(dir.mkdir(QStringLiteral("dir")));
    CHECKED(writeText(dir.filePath(QStringLiteral("dir/a.txt")), "a"));
    CHECKED(writeText(dir.filePath(QStringLiteral("dir/b.txt")), "b"));

    CHECKED(newWindow());
    CHECKED(goToPage(1));
    for (const QString& cell : cells) {
        const QStringList parts = cell.split(QLatin1Char('@'));
        CHECKED(select(dir.filePath(parts[0]), parts[1].toInt()));
    }
    QStringList paths;
    for (const QString& relative : expected)
        paths << QDir::toNativeSeparators(dir.filePath(relative));
    QCOMPARE(sorted(window->filesFoldersPage.selectedPaths()), sorted(paths));
    QCOMPARE(sorted(window->buildJob().paths), sorted(paths));
}

void TestMainWindow::helpButton_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("helpPage");

    QTest::addRow("file types") << 0 << "help-how-to-select-file-types.html";
    QTest::addRow("files and folders") << 1 << "help-how-to-select-files-and-folders.html";
    QTest::addRow("thumbnail options") << 2 << "help-how-to-appearance-options.html";
    QTest::addRow("output names") << 3 << "help-how-thumbnails-output-options.html";
    QTest::addRow("generate") << 4 << "help-how-to-generate-thumbnails.html";
}

static QUrl expectedHelpUrl(const QString& helpPage)
{
    QString root = QString::fromUtf8(MIRAVEL_HELP_ROOT);
    if (root.isEmpty())
        return QUrl::fromLocalFile(QCoreApplication::applicationDirPath()
                                   + QStringLiteral("/help/") + helpPage);
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return QUrl(root + helpPage);
}

void TestMainWindow::helpButton()
{
    QFETCH(int, page);
    QFETCH(QString, helpPage);

    CHECKED(newWindow());
    CHECKED(goToPage(page));
    QTest::mouseClick(ui()->buttonWizzardHelp, Qt::LeftButton);
    QCOMPARE(opened.urls, QList<QUrl>{expectedHelpUrl(helpPage)});
}

void TestMainWindow::onlineHelp()
{
    CHECKED(newWindow());
    CHECKED(goToPage(2));
    ui()->actionContents->trigger();
    QCOMPARE(ui()->actionContents->text(), QStringLiteral("Online Help"));
    QCOMPARE(opened.urls,
             QList<QUrl>{expectedHelpUrl("help-introduction-system-requirements.html")});
}

void TestMainWindow::aboutBox()
{
    CHECKED(newWindow());
    QString text;
    bool linkOpened = false;
    const QList<Popup> popups = withPopups([this] { ui()->actionAbout->trigger(); },
                                           [&](QWidget* popup) {
        auto* label = popup->findChild<QLabel*>(QStringLiteral("label_2"));
        if (!label)
            return;
        text = label->text();
        // The link is reachable from the keyboard and opens the mail program.
        if (!QTest::qWaitForWindowActive(popup))
            return;
        label->setFocus(Qt::TabFocusReason);
        QTest::keyClick(label, Qt::Key_Tab);
        QTest::keyClick(label, Qt::Key_Return);
        linkOpened = !opened.urls.isEmpty();
    });
    QCOMPARE(popups.size(), 1);
    const Popup& about = popups.first();
    QCOMPARE(about.className, QStringLiteral("AboutDialog"));
    QCOMPARE(about.title, QStringLiteral("About Miravel"));
    QVERIFY(!about.parent);
    QCOMPARE(about.flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(about.flags & Qt::MSWindowsFixedSizeDialogHint);
    QVERIFY(about.flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(about.flags & Qt::WindowContextHelpButtonHint));
    QVERIFY(!(about.flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(about.size, QSize(596, 217));
    QCOMPARE(about.minimumSize, QSize(596, 217));
    QCOMPARE(about.maximumSize, QSize(596, 217));

    const QString address = QString::fromUtf8(MIRAVEL_SUPPORT_EMAIL);
    QVERIFY(text.contains(QStringLiteral("Miravel v1.5")));
    QVERIFY(text.contains(QStringLiteral("mailto:") + address));
    QVERIFY(text.contains(QStringLiteral(">") + address + QStringLiteral("<")));
    if (address != QLatin1String("support@miravel.example"))
        QVERIFY(!text.contains(QStringLiteral("support@miravel.example")));
    QVERIFY(linkOpened);
    QCOMPARE(opened.urls, QList<QUrl>{QUrl(QStringLiteral("mailto:") + address)});
}

void TestMainWindow::officeBox_data()
{
    QTest::addColumn<bool>("word");
    QTest::addColumn<bool>("excel");
    QTest::addColumn<bool>("powerPoint");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("missing"); // empty: no box
    QTest::addColumn<QVariant>("stored");

    QTest::addRow("only spreadsheets missing, an empty line before the name")
        << true << false << true << false << "\nMicrosoft Excel" << QVariant(false);
    QTest::addRow("only word missing")
        << false << true << true << false << "Microsoft Word" << QVariant(false);
    QTest::addRow("only presentations missing, box ticked")
        << true << true << false << true << "\nMicrosoft PowerPoint" << QVariant(true);
    QTest::addRow("all missing, box ticked")
        << false << false << false << true
        << "Microsoft Word\nMicrosoft Excel\nMicrosoft PowerPoint" << QVariant(true);
    QTest::addRow("all available") << true << true << true << true << QString() << QVariant();
}

void TestMainWindow::officeBox()
{
    QFETCH(bool, word);
    QFETCH(bool, excel);
    QFETCH(bool, powerPoint);
    QFETCH(bool, tick);
    QFETCH(QString, missing);
    QFETCH(QVariant, stored);

    CHECKED(newWindow());
    clearSettings();
    bool stayedOpen = false;
    const QList<Popup> popups = withPopups(
        [&] { window->applyOfficeAvailability(word, excel, powerPoint); },
        [&](QWidget* popup) {
            auto* check = popup->findChild<QCheckBox*>();
            if (!check)
                return;
            if (tick)
                clickCheckBox(check);
            stayedOpen = popup->isVisible();
        });

    if (missing.isEmpty()) {
        QCOMPARE(popups.size(), 0);
    } else {
        QCOMPARE(popups.size(), 1);
        const Popup& box = popups.first();
        const QString head = OfficeIntro + missing + QStringLiteral("\n\nPlease, install ");
        QVERIFY2(box.text.startsWith(head), qPrintable(box.text));
        QVERIFY(box.text.contains(QStringLiteral("LibreOffice")));
        QCOMPARE(box.title, QStringLiteral("Miravel"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.standardButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.defaultButton, QMessageBox::Ok);
        QCOMPARE(box.otherButtons, QStringList{"Don't show this message again"});
        QVERIFY(!box.parent);
        QVERIFY2(stayedOpen, "clicking the check box closed the box");
    }
    const QSettings settings(Maker, Product);
    QCOMPARE(settings.value(QStringLiteral("MVSOfficeWarningDontShow")).toString(),
             stored.toString());

    // Groups and entries go only for what is missing (here or at start-up).
    const bool wordLeft = word && isWordAvailable();
    const bool excelLeft = excel && isExcelAvailable();
    const bool powerPointLeft = powerPoint && isPowerPointAvailable();
    QCOMPARE(ui()->groupWordOptions->isEnabled(), wordLeft);
    QCOMPARE(ui()->groupExcelOptions->isEnabled(), excelLeft);
    QCOMPARE(ui()->groupPowerPointOptions->isEnabled(), powerPointLeft);
    QVERIFY(ui()->groupBox_6->isEnabled());
    QVERIFY(ui()->groupBox_5->isEnabled());
    const QList<QPair<QString, bool>> families{{"Microsoft Word", wordLeft},
                                              {"Microsoft Excel", excelLeft},
                                              {"Microsoft PowerPoint", powerPointLeft},
                                              {"Text", true},
                                              {"Portable Document Format (PDF)", true}};
    for (const auto& family : families) {
        const auto found = ui()->treeFileTypes->findItems(family.first,
                                                          Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first()->isDisabled(), !family.second);
        for (int i = 0; i < found.first()->childCount(); ++i)
            QCOMPARE(found.first()->child(i)->isDisabled(), !family.second);
        if (!family.second)
            QCOMPARE(found.first()->checkState(0), Qt::Unchecked);
    }
}

void TestMainWindow::officeBoxSuppressed()
{
    {
        QSettings settings(Maker, Product);
        settings.setValue(QStringLiteral("MVSOfficeWarningDontShow"), true);
        settings.sync();
    }
    CHECKED(newWindow());
    QCOMPARE(startupPopups.size(), 0);
    const QList<Popup> popups =
        withPopups([this] { window->applyOfficeAvailability(false, false, false); });
    QCOMPARE(popups.size(), 0);
    QVERIFY(!ui()->groupWordOptions->isEnabled());
    QVERIFY(!ui()->groupExcelOptions->isEnabled());
    QVERIFY(!ui()->groupPowerPointOptions->isEnabled());
    QStringList extensions;
    window->fileTypesPage.checkedTypes(extensions, true);
    QCOMPARE(extensions, DefaultExtensions.mid(10));
}

// Runs the program in a home of its own until it is asked to end from outside; answers
// the settings it saved when its window closed.
void TestMainWindow::runProgram(const QStringList& arguments, QMap<QString, QString>* saved)
{
    QTemporaryDir programHome;
    const QDir dir(programHome.path());
    for (const char* folder : {"config/Tessarine", "data", "cache", "runtime"})
        QVERIFY(dir.mkpath(QLatin1String(folder)));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString store = dir.filePath(QStringLiteral("config/Tessarine/Miravel.conf"));
    {
        // A box about missing office components would keep the program from getting ready.
        QSettings settings(store, QSettings::IniFormat);
        settings.setValue(QStringLiteral("MVSOfficeWarningDontShow"), true);
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("no-bus")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    ShieldedProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/miravel"), arguments);
    QVERIFY(program.waitForStarted());

    // Ask it to end until the closing window has saved its settings.
    qRegisterMetaType<QProcess::ExitStatus>();
    QSignalSpy finished(&program, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    const auto closed = [&store] {
        QFile file(store);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("MVSNameFormat");
    };
    QTimer knock;
    QObject::connect(&knock, &QTimer::timeout, [&] {
        if (!closed() && program.state() == QProcess::Running)
            ::kill(pid_t(program.processId()), SIGTERM);
    });
    knock.start(20);
    if (!finished.wait(60000)) {
        program.kill();
        program.waitForFinished();
        QFAIL("the program did not end");
    }
    knock.stop();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(closed());

    const QSettings settings(store, QSettings::IniFormat);
    for (const QString& key : settings.allKeys())
        saved->insert(key, settings.value(key).toString());
}

void TestMainWindow::programIgnoresExtraArguments()
{
    QVERIFY(QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/miravel"))
                .isExecutable());
    QMap<QString, QString> plain;
    CHECKED(runProgram({}, &plain));
    QMap<QString, QString> extra;
    CHECKED(runProgram({"--unknown-option", "/no/such/file.pdf", "-x", "MVSNameFormat=[DATE]"},
                       &extra));
    QCOMPARE(extra, plain);
    QCOMPARE(plain.value(QStringLiteral("MVSNameFormat")), DefaultTemplate);
}

// ---------------------------------------------------------------------------------------
// Options and settings

void TestMainWindow::firstStartDefaults_data()
{
    QTest::addColumn<QString>("key");
    for (const Binding& b : bindings())
        QTest::addRow("%s", qPrintable(b.key)) << b.key;
}

void TestMainWindow::firstStartDefaults()
{
    QFETCH(QString, key);

    CHECKED(newWindow());
    const Binding b = binding(key);
    QCOMPARE(widgetValue(b).toString(), b.byDefault.toString());
}

void TestMainWindow::firstStartFileTypes()
{
    CHECKED(newWindow());
    // Everything is ticked but what start-up disabled.
    QStringList disabled;
    const QMap<QString, QStringList> missing = missingFamilies();
    for (auto it = missing.cbegin(); it != missing.cend(); ++it)
        disabled << it.key() << it.value();
    for (QTreeWidgetItemIterator it(ui()->treeFileTypes); *it; ++it) {
        const QString text = (*it)->text(0);
        QCOMPARE((*it)->isDisabled(), disabled.contains(text));
        QCOMPARE((*it)->checkState(0), disabled.contains(text) ? Qt::Unchecked : Qt::Checked);
    }
    QStringList extensions;
    window->fileTypesPage.checkedTypes(extensions, true);
    QCOMPARE(extensions, availableExtensions());

    // Generation page idle, tray hidden.
    QVERIFY(ui()->btnGenerate->isEnabled());
    QVERIFY(!ui()->btnStop->isEnabled());
    QVERIFY(!ui()->btnBackground->isEnabled());
    QCOMPARE(ui()->progressBar->value(), 0);
    QCOMPARE(ui()->treeThumbnails->topLevelItemCount(), 0);
    QVERIFY(!window->trayIcon.isVisible());
    QVERIFY(ui()->lineOutputFolderImg->isEnabled());
    QVERIFY(ui()->btnOutputFolderImg->isEnabled());
}

void TestMainWindow::settingsRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    for (const Binding& b : bindings())
        QTest::addRow("%s", qPrintable(b.key)) << b.key << b.changed;
    QTest::addRow("MVSOutputFormat jpeg") << "MVSOutputFormat" << QVariant(1);
    QTest::addRow("MVSOutputFormat png") << "MVSOutputFormat" << QVariant(2);
    QTest::addRow("MVSNameFormat empty") << "MVSNameFormat" << QVariant(QString());
    QTest::addRow("MVSOutputFolder empty") << "MVSOutputFolder" << QVariant(QString());
}

void TestMainWindow::settingsRoundTrip()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);

    CHECKED(newWindow());
    const Binding changed = binding(key);
    CHECKED(setWidgetValue(changed, value));
    window->saveSettings();

    const QSettings settings(Maker, Product);
    for (const Binding& b : bindings()) {
        const QVariant expected = b.key == key ? value : b.byDefault;
        QVERIFY2(settings.contains(b.key), qPrintable(b.key));
        QCOMPARE(settings.value(b.key).toString(), expected.toString());
    }

    CHECKED(newWindow());
    for (const Binding& b : bindings()) {
        const QVariant expected = b.key == key ? value : b.byDefault;
        QCOMPARE(widgetValue(b).toString(), expected.toString());
    }
}

void TestMainWindow::fileTypesRoundTrip()
{
    CHECKED(newWindow());
    QTreeWidget* tree = ui()->treeFileTypes;
    for (const QString& name : {QStringLiteral("csv"), QStringLiteral("Pictures")}) {
        QTreeWidgetItem* entry =
            tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).first();
        entry->setCheckState(0, Qt::Unchecked);
        emit tree->itemClicked(entry, 0);
    }
    QStringList ticked;
    window->fileTypesPage.checkedTypes(ticked, false);
    QVERIFY(!ticked.contains(QStringLiteral("Text")));
    QVERIFY(!ticked.contains(QStringLiteral("Documents")));
    QVERIFY(!ticked.contains(QStringLiteral("jpg")));
    QVERIFY(ticked.contains(QStringLiteral("txt")));
    window->saveSettings();

    const QSettings settings(Maker, Product);
    QCOMPARE(settings.value(QStringLiteral("MVSFileTypes")).toString(),
             ticked.join(QLatin1Char(',')));

    CHECKED(newWindow());
    QStringList restored;
    window->fileTypesPage.checkedTypes(restored, false);
    QCOMPARE(restored, ticked);
}

void TestMainWindow::disabledGroupsAreSaved()
{
    {
        QSettings settings(Maker, Product);
        settings.setValue(QStringLiteral("MVSOfficeWarningDontShow"), true);
    }
    CHECKED(newWindow());
    ui()->wordSpinThumbWidth->setValue(333);
    ui()->excelSpinPageTo->setValue(44);
    ui()->pptCheckKeepAspectRatio->setChecked(false);
    window->applyOfficeAvailability(false, false, false);
    window->saveSettings();

    const QSettings settings(Maker, Product);
    QCOMPARE(settings.value(QStringLiteral("MVSWordMVSWidth")).toInt(), 333);
    QCOMPARE(settings.value(QStringLiteral("MVSExcelMVSPEnd")).toInt(), 44);
    QCOMPARE(settings.value(QStringLiteral("MVSPowerPointMVSKeepAspectRatio")).toBool(), false);
}

void TestMainWindow::storedValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("shown");

    QTest::addRow("width below range raised") << "MVSWordMVSWidth" << QVariant(5) << QVariant(20);
    QTest::addRow("width above range lowered")
        << "MVSPdfMVSWidth" << QVariant(5000) << QVariant(1000);
    QTest::addRow("height above range lowered")
        << "MVSPictureMVSHeight" << QVariant(1001) << QVariant(1000);
    QTest::addRow("page below range raised") << "MVSExcelMVSPStart" << QVariant(0) << QVariant(1);
    QTest::addRow("page above range lowered")
        << "MVSPowerPointMVSPEnd" << QVariant(2000) << QVariant(1000);
    QTest::addRow("non-numeric width gives the minimum")
        << "MVSExcelMVSWidth" << QVariant("wide") << QVariant(20);
    QTest::addRow("first page beyond the last kept")
        << "MVSPdfMVSPStart" << QVariant(3) << QVariant(3);
    QTest::addRow("format 5 leaves png") << "MVSOutputFormat" << QVariant(5) << QVariant(2);
    QTest::addRow("format -1 leaves png") << "MVSOutputFormat" << QVariant(-1) << QVariant(2);
    QTest::addRow("format 0 selects bmp") << "MVSOutputFormat" << QVariant(0) << QVariant(0);
    QTest::addRow("format 1 selects jpeg") << "MVSOutputFormat" << QVariant(1) << QVariant(1);
    QTest::addRow("empty template stays empty")
        << "MVSNameFormat" << QVariant(QString()) << QVariant(QString());
    QTest::addRow("recursive stored as text") << "MVSLookRecursive" << QVariant("false")
                                              << QVariant(false);
    QTest::addRow("keep aspect off") << "MVSPictureMVSKeepAspectRatio" << QVariant(false)
                                     << QVariant(false);
}

void TestMainWindow::storedValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, shown);

    {
        QSettings settings(Maker, Product);
        settings.setValue(key, stored);
        settings.sync();
    }
    CHECKED(newWindow());
    const Binding b = binding(key);
    QCOMPARE(widgetValue(b).toString(), shown.toString());

    // What is shown is what is saved.
    window->saveSettings();
    const QSettings settings(Maker, Product);
    QCOMPARE(settings.value(key).toString(), shown.toString());
}

void TestMainWindow::templateTokens_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selectionLength"); // selected backwards from the cursor
    QTest::addColumn<QString>("after");

    const QList<QPair<const char*, const char*>> buttons{
        {"btnTemplateName", "NAME"},           {"btnTemplatePage", "PAGE"},
        {"btnTemplateCurrentDate", "DATE"},    {"btnTemplateCurrentTime", "TIME"},
        {"btnTemplateCreatedDate", "CDATE"},   {"btnTemplateCreatedTime", "CTIME"},
        {"btnTemplateModifiedDate", "MDATE"},  {"btnTemplateModifiedTime", "MTIME"},
        {"btnTemplateFolderName", "FOLDER"},   {"btnTemplateFileSize", "FILESIZE"}};
    for (const auto& b : buttons) {
        QTest::addRow("%s inserts [%s] at the cursor", b.first, b.second)
            << b.first << "ab" << 1 << 0 << QStringLiteral("a[%1]b").arg(QLatin1String(b.second));
    }
    QTest::addRow("page at the end of a name")
        << "btnTemplatePage" << "thumbnail_[NAME]_" << 17 << 0 << DefaultTemplate;
    QTest::addRow("name replaces a selection")
        << "btnTemplateName" << "xabcy" << 4 << 3 << "x[NAME]y";
    QTest::addRow("size replaces everything selected")
        << "btnTemplateFileSize" << "old" << 3 << 3 << "[FILESIZE]";
    QTest::addRow("folder into an empty field")
        << "btnTemplateFolderName" << QString() << 0 << 0 << "[FOLDER]";
    QTest::addRow("time at the start") << "btnTemplateCurrentTime" << "_x" << 0 << 0
                                       << "[TIME]_x";
}

void TestMainWindow::templateTokens()
{
    QFETCH(QString, button);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(int, selectionLength);
    QFETCH(QString, after);

    CHECKED(newWindow());
    CHECKED(goToPage(3));
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QLineEdit* edit = ui()->templateEdit;
    edit->setText(before);
    edit->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(edit->hasFocus());
    edit->setCursorPosition(cursor);
    if (selectionLength > 0)
        edit->cursorBackward(true, selectionLength);

    auto* token = window->findChild<QPushButton*>(button);
    QVERIFY(token);
    QTest::mouseClick(token, Qt::LeftButton);
    QCOMPARE(edit->text(), after);
}

void TestMainWindow::templateReset_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("selectAll");

    QTest::addRow("empty field") << QString() << false;
    QTest::addRow("other text") << "[DATE]_[TIME]" << false;
    QTest::addRow("selected text") << "[DATE]_[TIME]" << true;
    QTest::addRow("default text") << DefaultTemplate << false;
}

void TestMainWindow::templateReset()
{
    QFETCH(QString, before);
    QFETCH(bool, selectAll);

    CHECKED(newWindow());
    CHECKED(goToPage(3));
    ui()->templateEdit->setText(before);
    if (selectAll)
        ui()->templateEdit->selectAll();
    QTest::mouseClick(ui()->btnTemplateResetDefault, Qt::LeftButton);
    QCOMPARE(ui()->templateEdit->text(), DefaultTemplate);
}

void TestMainWindow::useFileFolder_data()
{
    QTest::addColumn<bool>("storedOn");
    QTest::addRow("off at start") << false;
    QTest::addRow("on at start") << true;
}

void TestMainWindow::useFileFolder()
{
    QFETCH(bool, storedOn);

    const QString folder = QStringLiteral("/srv/out");
    {
        QSettings settings(Maker, Product);
        settings.setValue(QStringLiteral("MVSUseFileFolder"), storedOn);
        settings.setValue(QStringLiteral("MVSOutputFolder"), folder);
    }
    CHECKED(newWindow());
    CHECKED(goToPage(3));
    QCheckBox* check = ui()->checkUserFileFolderImg;
    const auto verify = [&](bool on) {
        QCOMPARE(check->isChecked(), on);
        QCOMPARE(ui()->lineOutputFolderImg->isEnabled(), !on);
        QCOMPARE(ui()->btnOutputFolderImg->isEnabled(), !on);
        QCOMPARE(ui()->lineOutputFolderImg->text(), folder);
    };
    CHECKED(verify(storedOn));
    clickCheckBox(check);
    CHECKED(verify(!storedOn));
    clickCheckBox(check);
    CHECKED(verify(storedOn));
}

void TestMainWindow::outputFolderDialog_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addRow("cancel empties the field") << false;
    QTest::addRow("chosen folder shown") << true;
}

void TestMainWindow::outputFolderDialog()
{
    QFETCH(bool, accept);

    CHECKED(newWindow());
    CHECKED(goToPage(3));
    ui()->lineOutputFolderImg->setText(QStringLiteral("/previous"));
    QFileDialog::Options options;
    const QList<Popup> popups = withPopups(
        [this] { QTest::mouseClick(ui()->btnOutputFolderImg, Qt::LeftButton); },
        [&](QWidget* popup) {
            auto* dialog = qobject_cast<QFileDialog*>(popup);
            if (!dialog)
                return;
            options = dialog->options();
            if (accept) {
                dialog->setDirectory(fixtures.path());
                static_cast<QDialog*>(dialog)->accept();
            }
        });
    QCOMPARE(popups.size(), 1);
    QCOMPARE(popups.first().title, QStringLiteral("Open Directory"));
    QCOMPARE(popups.first().parent, window.get());
    QVERIFY(options & QFileDialog::ShowDirsOnly);
    QVERIFY(options & QFileDialog::DontResolveSymlinks);
    QCOMPARE(ui()->lineOutputFolderImg->text(),
             accept ? QDir::toNativeSeparators(fixtures.path()) : QString());
}

// ---------------------------------------------------------------------------------------
// Generation

void TestMainWindow::buildJob_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("useFileFolder");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("nameFormat");
    QTest::addColumn<QString>("outputFolder");

    QTest::addRow("png into a common folder")
        << 2 << false << "/srv/out" << "[NAME]_[PAGE]" << "/srv/out/";
    QTest::addRow("jpeg beside each source, folder ignored")
        << 1 << true << "/srv/out" << "x_[DATE]" << QString();
    QTest::addRow("bmp into a folder with its separator") << 0 << false << "/srv/out/"
                                                          << "t" << "/srv/out/";
}

void TestMainWindow::buildJob()
{
    QFETCH(int, format);
    QFETCH(bool, useFileFolder);
    QFETCH(QString, folder);
    QFETCH(QString, nameFormat);
    QFETCH(QString, outputFolder);

    CHECKED(newWindow());
    CHECKED(tickOnly({"Text", "Portable Document Format (PDF)", "png"}));
    CHECKED(goToPage(1));
    CHECKED(select(fixtures.path()));
    CHECKED(select(emptyFolder));
    ui()->chkRecursive->setChecked(false);

    struct Options
    {
        QSpinBox* width;
        QSpinBox* height;
        QSpinBox* from;
        QSpinBox* to;
        QCheckBox* keep;
        int base;
        bool keepOn;
    };
    const QList<Options> widgets{
        {ui()->wordSpinThumbWidth, ui()->wordSpinThumbHeight, ui()->wordSpinPageFrom,
         ui()->wordSpinPageTo, ui()->wordCheckKeepAspectRatio, 100, false},
        {ui()->excelSpinThumbWidth, ui()->excelSpinThumbHeight, ui()->excelSpinPageFrom,
         ui()->excelSpinPageTo, ui()->excelCheckKeepAspectRatio, 110, true},
        {ui()->ppointSpinThumbWidth, ui()->ppointSpinThumbHeight, ui()->ppointSpinPageFrom,
         ui()->ppointSpinPageTo, ui()->pptCheckKeepAspectRatio, 120, false},
        {ui()->pdfSpinThumbWidth, ui()->pdfSpinThumbHeight, ui()->pdfSpinPageFrom,
         ui()->pdfSpinPageTo, ui()->pdfCheckKeepAspectRatio, 130, false},
        {ui()->picSpinThumbWidth, ui()->picSpinThumbHeight, nullptr, nullptr,
         ui()->picCheckKeepAspectRatio, 140, true}};
    for (const Options& o : widgets) {
        o.width->setValue(o.base + 1);
        o.height->setValue(o.base + 2);
        if (o.from) {
            o.from->setValue(o.base / 10 - 7);
            o.to->setValue(o.base / 10 + 7);
        }
        o.keep->setChecked(o.keepOn);
    }
    QRadioButton* radios[] = {ui()->radioOutputBmp, ui()->radioOutputJpeg, ui()->radioOutputPng};
    radios[format]->setChecked(true);
    ui()->lineOutputFolderImg->setText(folder);
    ui()->checkUserFileFolderImg->setChecked(useFileFolder);
    ui()->templateEdit->setText(nameFormat);

    const ThumbJob job = window->buildJob();
    QCOMPARE(job.extensions, (QStringList{"txt", "xml", "log", "ans", "asc", "csv", "nfo",
                                          "1st", "bat", "info", "pdf", "png"}));
    QCOMPARE(sorted(job.paths), sorted({fixtures.path(), emptyFolder}));
    QCOMPARE(job.recursive, false);

    // family: width, height, first page, last page, keep
    const QMap<int, QList<int>> expected{
        {Excel, {111, 112, 4, 18, 1}},     {Picture, {141, 142, 1, 1, 1}},
        {Pdf, {131, 132, 6, 20, 0}},       {PowerPoint, {121, 122, 5, 19, 0}},
        {Word, {101, 102, 3, 17, 0}},      {Text, {131, 132, 1, 1, 0}}};
    QCOMPARE(job.settings.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const ThumbSettings s = job.settings.value(it.key());
        const QList<int> v = it.value();
        QCOMPARE((QList<int>{s.width, s.height, s.pageStart, s.pageEnd, int(s.keepAspectRatio)}),
                 v);
        QCOMPARE(s.nameFormat, nameFormat);
        QCOMPARE(s.outputFolder, outputFolder);
        QCOMPARE(int(s.outputFormat), format);
        QCOMPARE(s.useFileFolder, useFileFolder);
    }
}

void TestMainWindow::progress_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<QList<int>>("steps");

    QTest::addRow("three files") << 3 << QList<int>{33, 66, 100};
    QTest::addRow("seven files, truncated") << 7 << QList<int>{14, 28, 42, 57, 71, 85, 100};
    QTest::addRow("one file") << 1 << QList<int>{100};
    QList<int> each;
    for (int percent = 1; percent <= 100; ++percent)
        each << percent;
    QTest::addRow("more files than steps, each value once") << 300 << each;
    QTest::addRow("no file found") << 0 << QList<int>();
}

void TestMainWindow::progress()
{
    QFETCH(int, files);
    QFETCH(QList<int>, steps);

    CHECKED(newWindow());
    CHECKED(disconnectEngine());
    CHECKED(goToPage(4));
    ui()->progressBar->setValue(40);
    QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
    QCOMPARE(ui()->progressBar->value(), 0);

    QSignalSpy spy(ui()->progressBar, &QProgressBar::valueChanged);
    window->onStatus(ThumbEngine::KNumFiles, files);
    QCOMPARE(ui()->lblFilesNumber->text(), QString::number(files));
    for (int i = 1; i <= files; ++i) {
        const QString path = QStringLiteral("/data/file%1.pdf").arg(i);
        window->onStatus(ThumbEngine::KCurrentFile, path);
        QCOMPARE(ui()->lblCurrentFile->text(), path);
    }
    QList<int> seen;
    for (const QList<QVariant>& args : qAsConst(spy))
        seen << args.first().toInt();
    QCOMPARE(seen, steps);

    window->onJobDone(ThumbEngine::KFinished);
    QCOMPARE(ui()->progressBar->value(), 100);
    QVERIFY(ui()->lblCurrentFile->text().isEmpty());
    QVERIFY(ui()->btnGenerate->isEnabled());
    QVERIFY(!ui()->btnStop->isEnabled());
    QVERIFY(!ui()->btnBackground->isEnabled());
}

void TestMainWindow::stopKeepsProgressAtZero()
{
    CHECKED(newWindow());
    CHECKED(disconnectEngine());
    CHECKED(goToPage(4));
    QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
    window->onStatus(ThumbEngine::KNumFiles, 3);
    window->onStatus(ThumbEngine::KCurrentFile, QStringLiteral("/data/a.pdf"));
    window->onStatus(ThumbEngine::KCurrentFile, QStringLiteral("/data/b.pdf"));
    QCOMPARE(ui()->progressBar->value(), 66);

    QTest::mouseClick(ui()->btnStop, Qt::LeftButton);
    QCOMPARE(ui()->progressBar->value(), 0);
    QVERIFY(!ui()->btnStop->isEnabled());
    QVERIFY(!ui()->btnBackground->isEnabled());
    // Generate waits for the engine to confirm the end of the stopped job.
    QVERIFY(!ui()->btnGenerate->isEnabled());

    window->onJobDone(ThumbEngine::KStopped);
    QCOMPARE(ui()->progressBar->value(), 0);
    QVERIFY(ui()->btnGenerate->isEnabled());
    QVERIFY(!ui()->btnStop->isEnabled());
}

void TestMainWindow::statusMessages()
{
    CHECKED(newWindow());
    CHECKED(disconnectEngine());
    QStatusBar* bar = window->statusBar();
    window->onStatus(ThumbEngine::KFileFound, QStringLiteral("/data/found.txt"));
    QCOMPARE(bar->currentMessage(), QStringLiteral("/data/found.txt"));
    window->onStatus(ThumbEngine::KNumFiles, 2);
    window->onStatus(ThumbEngine::KCurrentFile, QStringLiteral("/data/found.txt"));
    QCOMPARE(bar->currentMessage(), QStringLiteral("Making thumbnails..."));
    QCOMPARE(ui()->lblCurrentFile->text(), QStringLiteral("/data/found.txt"));
    window->onStatus(ThumbEngine::SigStatus(7), QStringLiteral("ignored"));
    QCOMPARE(bar->currentMessage(), QStringLiteral("Making thumbnails..."));
    window->onJobDone(ThumbEngine::KFinished);
    // The status bar keeps its last message.
    QCOMPARE(bar->currentMessage(), QStringLiteral("Making thumbnails..."));
    QVERIFY(ui()->lblCurrentFile->text().isEmpty());
}

void TestMainWindow::results()
{
    CHECKED(newWindow());
    CHECKED(disconnectEngine());
    addResult(QStringLiteral("/data/one.pdf"),
              {QStringLiteral("/out/one_1.png"), QStringLiteral("/out/one_2.png")});
    addResult(QStringLiteral("/data/two.txt"), {QStringLiteral("/out/two_1.png")});

    QTreeWidget* tree = ui()->treeThumbnails;
    QCOMPARE(tree->columnCount(), 1);
    QCOMPARE(tree->topLevelItemCount(), 2);
    const QTreeWidgetItem* first = tree->topLevelItem(0);
    const QTreeWidgetItem* second = tree->topLevelItem(1);
    QCOMPARE(first->text(0), QStringLiteral("/data/one.pdf"));
    QCOMPARE(second->text(0), QStringLiteral("/data/two.txt"));
    QVERIFY(!first->icon(0).isNull());
    QCOMPARE(first->childCount(), 2);
    QCOMPARE(sorted({first->child(0)->text(0), first->child(1)->text(0)}),
             (QStringList{"/out/one_1.png", "/out/one_2.png"}));
    QVERIFY(first->child(0)->icon(0).isNull());
    QCOMPARE(second->childCount(), 1);
    QCOMPARE(second->child(0)->text(0), QStringLiteral("/out/two_1.png"));
}

void TestMainWindow::copyAllFileNames_data()
{
    // Each entry: "source|thumbnail|thumbnail..."
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<int>("lines");

    QTest::addRow("two sources with two thumbnails each")
        << QStringList{"/d/a.pdf|/o/a_1.png|/o/a_2.png", "/d/b.pdf|/o/b_1.png|/o/b_2.png"} << 4;
    QTest::addRow("one source with one thumbnail") << QStringList{"/d/c.txt|/o/c_1.png"} << 1;
    QTest::addRow("empty list") << QStringList() << 0;
}

void TestMainWindow::copyAllFileNames()
{
    QFETCH(QStringList, sources);
    QFETCH(int, lines);

    CHECKED(newWindow());
    QStringList thumbnails;
    for (const QString& source : sources) {
        const QStringList parts = source.split(QLatin1Char('|'));
        addResult(parts.first(), parts.mid(1));
        thumbnails << parts.mid(1);
    }
    QApplication::clipboard()->setText(QStringLiteral("previous"));
    ui()->actionCopy_All_File_Names->trigger();

    const QString text = QApplication::clipboard()->text();
    QCOMPARE(text.count(QLatin1Char('\n')), lines);
    if (lines > 0)
        QVERIFY(text.endsWith(QLatin1Char('\n')));
    QStringList copied = text.split(QLatin1Char('\n'));
    QCOMPARE(copied.takeLast(), QString());
    QCOMPARE(sorted(copied), sorted(thumbnails));
    // In tree order: every source's thumbnails before the next source's.
    for (int i = 0; i < copied.size(); ++i)
        QVERIFY(copied[i].startsWith(thumbnails[i].left(4)));
}

void TestMainWindow::contextMenu_data()
{
    QTest::addColumn<QString>("target"); // "source", "thumbnail", "below" or "empty"
    QTest::addColumn<bool>("menu");
    QTest::addColumn<QString>("copied");

    QTest::addRow("on a source") << "source" << true << "/d/a.pdf";
    QTest::addRow("on a thumbnail") << "thumbnail" << true << "/o/a_1.png";
    QTest::addRow("on empty space below the items") << "below" << false << "previous";
    QTest::addRow("on an empty list") << "empty" << false << "previous";
}

void TestMainWindow::contextMenu()
{
    QFETCH(QString, target);
    QFETCH(bool, menu);
    QFETCH(QString, copied);

    CHECKED(newWindow());
    CHECKED(goToPage(4));
    QTreeWidget* tree = ui()->treeThumbnails;
    if (target != QLatin1String("empty")) {
        addResult(QStringLiteral("/d/a.pdf"), {QStringLiteral("/o/a_1.png")});
        tree->expandAll();
    }
    QPoint pos(10, tree->viewport()->height() - 5);
    QTreeWidgetItem* expectedItem = nullptr;
    if (target == QLatin1String("source") || target == QLatin1String("thumbnail")) {
        expectedItem = target == QLatin1String("source") ? tree->topLevelItem(0)
                                                         : tree->topLevelItem(0)->child(0);
        pos = tree->visualItemRect(expectedItem).center();
    }
    QVERIFY(tree->viewport()->rect().contains(pos));

    QApplication::clipboard()->setText(QStringLiteral("previous"));
    QList<Popup> popups;
    CHECKED(requestContextMenu(pos, &popups, QStringLiteral("Copy file name")));
    QCOMPARE(popups.size(), menu ? 1 : 0);
    if (menu) {
        QCOMPARE(popups.first().actions, MenuActions);
        QCOMPARE(window->contextItem, expectedItem);
    }
    QCOMPARE(QApplication::clipboard()->text(), copied);
}

void TestMainWindow::goToFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addRow("missing file does nothing") << false;
    QTest::addRow("existing file opens its folder") << true;
}

void TestMainWindow::goToFile()
{
    QFETCH(bool, exists);

    QTemporaryDir data;
    const QString thumbnail = data.filePath(QStringLiteral("a_1.png"));
    if (exists)
        CHECKED(writePicture(thumbnail));

    CHECKED(newWindow());
    CHECKED(goToPage(4));
    addResult(QStringLiteral("/d/a.pdf"), {thumbnail});
    QTreeWidget* tree = ui()->treeThumbnails;
    tree->expandAll();
    QList<Popup> popups;
    CHECKED(requestContextMenu(tree->visualItemRect(tree->topLevelItem(0)->child(0)).center(),
                               &popups, QStringLiteral("Go to File")));
    QCOMPARE(popups.size(), 1);
    // Without a file manager on the session bus the folder is opened.
    const QList<QUrl> expected{QUrl::fromLocalFile(data.path())};
    QCOMPARE(opened.urls, exists ? expected : QList<QUrl>());
}

void TestMainWindow::generateForgetsContextItem()
{
    CHECKED(newWindow());
    CHECKED(disconnectEngine());
    CHECKED(goToPage(4));
    addResult(QStringLiteral("/d/a.pdf"), {QStringLiteral("/o/a_1.png")});
    QTreeWidget* tree = ui()->treeThumbnails;
    QList<Popup> popups;
    CHECKED(requestContextMenu(tree->visualItemRect(tree->topLevelItem(0)).center(), &popups));
    QCOMPARE(popups.size(), 1);
    QVERIFY(window->contextItem);

    QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
    QCOMPARE(tree->topLevelItemCount(), 0);
    QVERIFY(!window->contextItem);
    QApplication::clipboard()->setText(QStringLiteral("previous"));
    ui()->actionCopy_File_Path->trigger();
    ui()->actionGo_to_File->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("previous"));
    QVERIFY(opened.urls.isEmpty());
}

void TestMainWindow::backgroundAndTray_data()
{
    QTest::addColumn<bool>("trayAvailable");
    QTest::addRow("with a tray") << true;
    QTest::addRow("without a tray") << false;
}

void TestMainWindow::backgroundAndTray()
{
    QFETCH(bool, trayAvailable);

    CHECKED(newWindow());
    window->trayAvailable = trayAvailable;
    CHECKED(goToPage(4));
    QSignalSpy done(&window->engine, &ThumbEngine::sigDone);

    // Running: the engine's report is queued until the event loop runs again.
    QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
    QVERIFY(!ui()->btnGenerate->isEnabled());
    QVERIFY(ui()->btnStop->isEnabled());
    QVERIFY(ui()->btnBackground->isEnabled());
    QVERIFY(window->isVisible());
    QVERIFY(!window->trayIcon.isVisible());

    QTest::mouseClick(ui()->btnBackground, Qt::LeftButton);
    if (trayAvailable) {
        QVERIFY(window->trayIcon.isVisible());
        QCOMPARE(window->trayIcon.toolTip(), QStringLiteral("Miravel: Making thumbnails..."));
        QTRY_VERIFY(!window->isVisible());
    } else {
        QVERIFY(!window->trayIcon.isVisible());
        QTRY_VERIFY(window->isMinimized());
        QVERIFY(window->isVisible());
    }

    // The job ends.
    QTRY_VERIFY_WITH_TIMEOUT(ui()->btnGenerate->isEnabled(), 30000);
    QCOMPARE(done.size(), 1);
    QCOMPARE(done.first().first().value<ThumbEngine::ThumbStatus>(), ThumbEngine::KFinished);
    QCOMPARE(ui()->progressBar->value(), 100);
    QVERIFY(!ui()->btnStop->isEnabled());
    QVERIFY(!ui()->btnBackground->isEnabled());
    QCOMPARE(window->trayIcon.isVisible(), trayAvailable);
    QCOMPARE(window->isVisible(), !trayAvailable);
    QCOMPARE(window->trayIcon.toolTip(),
             trayAvailable ? QStringLiteral("Miravel: Done") : QString());
}

void TestMainWindow::trayActivation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addRow("trigger") << QSystemTrayIcon::Trigger;
    QTest::addRow("double click") << QSystemTrayIcon::DoubleClick;
    QTest::addRow("middle click") << QSystemTrayIcon::MiddleClick;
    QTest::addRow("context") << QSystemTrayIcon::Context;
}

void TestMainWindow::trayActivation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);

    CHECKED(newWindow());
    CHECKED(disconnectEngine());
    window->trayAvailable = true;
    CHECKED(goToPage(4));
    QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
    QTest::mouseClick(ui()->btnBackground, Qt::LeftButton);
    QTRY_VERIFY(!window->isVisible());
    window->onJobDone(ThumbEngine::KFinished);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->trayIcon.toolTip(), QStringLiteral("Miravel: Done"));

    emit window->trayIcon.activated(reason);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isMinimized());
    QVERIFY(!window->trayIcon.isVisible());
}

void TestMainWindow::closeSavesAndStops()
{
    CHECKED(newWindow());
    ui()->templateEdit->setText(QStringLiteral("[MDATE]"));
    ui()->picSpinThumbWidth->setValue(77);
    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    QVERIFY(window->engine.isFinished());

    const QSettings settings(Maker, Product);
    QCOMPARE(settings.value(QStringLiteral("MVSNameFormat")).toString(), QStringLiteral("[MDATE]"));
    QCOMPARE(settings.value(QStringLiteral("MVSPictureMVSWidth")).toInt(), 77);
}

void TestMainWindow::endToEnd()
{
    QVERIFY2(QFileInfo(QCoreApplication::applicationDirPath()
                       + QStringLiteral("/pdf2png/pdftopng")).isExecutable(),
             "pdftopng is not built beside the test");

    QTemporaryDir data;
    const QDir in(data.filePath(QStringLiteral("in")));
    const QDir out(data.filePath(QStringLiteral("out")));
    QVERIFY(in.mkpath(QStringLiteral("sub")));
    QVERIFY(out.mkpath(QStringLiteral(".")));

    QMap<QString, int> expectedPages; // source -> thumbnails
    for (const char* name : {"pic_a.png", "pic_b.jpg", "pic_c.bmp", "sub/pic_d.ppm"}) {
        CHECKED(writePicture(in.filePath(QLatin1String(name))));
        expectedPages.insert(in.filePath(QLatin1String(name)), 1);
    }
    for (const char* name : {"doc_a.pdf", "sub/doc_b.pdf"}) {
        CHECKED(writePdf(in.filePath(QLatin1String(name)), 3));
        expectedPages.insert(in.filePath(QLatin1String(name)), 2);
    }
    // A text spanning several pages still gives its first page only.
    QByteArray longText;
    for (int line = 1; line <= 300; ++line)
        longText += "line " + QByteArray::number(line) + '\n';
    CHECKED(writeText(in.filePath(QStringLiteral("notes.txt")), longText));
    expectedPages.insert(in.filePath(QStringLiteral("notes.txt")), 1);
    CHECKED(writeText(in.filePath(QStringLiteral("table.csv")), "a,b\n1,2\n"));
    expectedPages.insert(in.filePath(QStringLiteral("table.csv")), 1);
    CHECKED(writeText(in.filePath(QStringLiteral("ignored.xyz")), "not a type"));

    CHECKED(newWindow());
    CHECKED(clickNext());
    CHECKED(select(in.path()));
    CHECKED(clickNext());
    ui()->pdfSpinPageFrom->setValue(1);
    ui()->pdfSpinPageTo->setValue(2);
    CHECKED(clickNext());
    ui()->lineOutputFolderImg->setText(QDir::toNativeSeparators(out.path()));
    CHECKED(clickNext());
    QCOMPARE(ui()->stackedWidget->currentWidget(), ui()->pageGenerate);

    QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui()->btnGenerate->isEnabled(), 60000);
    QCOMPARE(ui()->progressBar->value(), 100);
    QCOMPARE(ui()->lblFilesNumber->text(), QString::number(expectedPages.size()));

    QTreeWidget* tree = ui()->treeThumbnails;
    QMap<QString, int> listed;
    QStringList thumbnails;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* source = tree->topLevelItem(i);
        listed.insert(QDir::fromNativeSeparators(source->text(0)), source->childCount());
        for (int c = 0; c < source->childCount(); ++c) {
            const QString path = source->child(c)->text(0);
            QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
            QCOMPARE(QFileInfo(path).absolutePath(), out.path());
            thumbnails << QFileInfo(path).fileName();
        }
    }
    QCOMPARE(listed, expectedPages);
    QCOMPARE(sorted(thumbnails), sorted(out.entryList(QDir::Files)));
}

int main(int argc, char* argv[])
{
    // Settings, working folder and desktop services all live in a throw-away home.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const QDir homeDir(home.path());
    for (const char* folder : {"config", "data", "cache", "runtime"})
        homeDir.mkpath(QLatin1String(folder));
    QFile::setPermissions(homeDir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(homeDir.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(homeDir.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(homeDir.filePath(QStringLiteral("cache"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(homeDir.filePath(QStringLiteral("runtime"))));
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
