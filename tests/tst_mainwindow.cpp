#include "AboutDialog.h"
#include "BuildSettings.h"
#include "MainWindow.h"
#include "ui_MainWindow.h"

#include <QClipboard>
#include <QDesktopServices>
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
const QString PdfEntry = QStringLiteral("Portable Document Format (PDF)");
// Every entry of the file-type tree, depth-first.
const QStringList AllEntries = QStringLiteral(
    "Documents,Microsoft Word,doc,docx,rtf,odt,Microsoft Excel,xls,xlsx,xlsm,ods,"
    "Microsoft PowerPoint,ppt,pptx,Text,txt,xml,log,ans,asc,csv,nfo,1st,bat,info,"
    "Portable Document Format (PDF),Pictures,jpg,jpeg,jpe,jif,jfif,jfi,png,ppm,pgm,pbm,pnm,"
    "tiff,tif,gif,bmp,dib,xbm,xpm").split(QLatin1Char(','));
const QString OfficeIntro =
    QStringLiteral("The following components of Microsoft Office are missing on your system:\n");
const QString TypeWarning = QStringLiteral("Please select at least one file type from the list.");
const QString PathWarning = QStringLiteral("Please select at least one item from the folders tree");
const QString FolderWarning = QStringLiteral("Please specifiy thumbnails output folder.");
const QString TemplateWarning = QStringLiteral("Please specifiy thumbnails output name format.");

// Entries of the office families that cannot be driven here or are named in `absent`.
QStringList unavailable(const QStringList& absent = {})
{
    QStringList entries;
    if (absent.contains(AllEntries[1]) || !isWordAvailable())
        entries << AllEntries.mid(1, 5);
    if (absent.contains(AllEntries[6]) || !isExcelAvailable())
        entries << AllEntries.mid(6, 5);
    if (absent.contains(AllEntries[11]) || !isPowerPointAvailable())
        entries << AllEntries.mid(11, 3);
    return entries;
}

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

// A persisted key and the widget property it fills; the format radios have no widget name.
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
    QStringList types = AllEntries;
    for (const QString& entry : unavailable())
        types.removeOne(entry);
    QList<Binding> list{
        {"MVSFileTypes", "treeFileTypes", {}, types.join(QLatin1Char(',')),
         QString(QStringLiteral("Text,txt,") + PdfEntry + QStringLiteral(",Pictures,png"))},
        {"MVSLookRecursive", "chkRecursive", "checked", true, false}};
    const char* const families[][3] = {{"MVSWord", "word", "word"}, {"MVSExcel", "excel", "excel"},
                                       {"MVSPowerPoint", "ppoint", "ppt"}, {"MVSPdf", "pdf", "pdf"},
                                       {"MVSPicture", "pic", "pic"}};
    for (int i = 0; i < 5; ++i) {
        const QString prefix = QLatin1String(families[i][0]);
        const QString spin = QLatin1String(families[i][1]);
        list << Binding{prefix + "MVSWidth", spin + "SpinThumbWidth", "value", 200, 101 + 10 * i}
             << Binding{prefix + "MVSHeight", spin + "SpinThumbHeight", "value", 200, 102 + 10 * i};
        if (i < 4)
            list << Binding{prefix + "MVSPStart", spin + "SpinPageFrom", "value", 1, 3 + i}
                 << Binding{prefix + "MVSPEnd", spin + "SpinPageTo", "value", 1, 17 + i};
        list << Binding{prefix + "MVSKeepAspectRatio",
                        QLatin1String(families[i][2]) + QStringLiteral("CheckKeepAspectRatio"),
                        "checked", true, false};
    }
    return list << Binding{"MVSOutputFormat", {}, {}, 2, 0}
                << Binding{"MVSOutputFolder", "lineOutputFolderImg", "text", QString(), "/srv/x"}
                << Binding{"MVSUseFileFolder", "checkUserFileFolderImg", "checked", false, true}
                << Binding{"MVSNameFormat", "templateEdit", "text", DefaultTemplate, "[CDATE]"};
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
    void cleanup();

    void wizard_data();
    void wizard();
    void validators_data();
    void validators();
    void nameFilters_data();
    void nameFilters();
    void selectedPaths();
    void aboutBox();
    void officeBox_data();
    void officeBox();
    void extraArguments();
    void settings_data();
    void settings();
    void templateEdit_data();
    void templateEdit();
    void useFileFolder();
    void buildJob_data();
    void buildJob();
    void states_data();
    void states();
    void jobOutcome_data();
    void jobOutcome();
    void copyAllFileNames();
    void contextMenu_data();
    void contextMenu();
    void endToEnd();

private:
    void newWindow();
    Ui::MainWindow* ui() const { return window->ui; }
    void select(const QString& path, int column = 0);
    void click(QAbstractButton* button, QList<Popup>* popups = nullptr);
    void goToPage(int page);
    void tickOnly(const QStringList& entries);
    void addResult(const QString& source, const QStringList& thumbnails);
    QVariant widgetValue(const Binding& b) const;
    QString state() const;

    QString home;
    QTemporaryDir fixtures;
    QString thumbnail; // an existing picture
    QString viewFolder; // files of several types and a sub-folder
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
    QSettings(Maker, Product).clear();
    opened.urls.clear();
}

void TestMainWindow::cleanup()
{
    window.reset();
}

void TestMainWindow::newWindow()
{
    window.reset();
    // A box about missing office components may come up while the window is built.
    startupPopups = withPopups([this] { window = std::make_unique<MainWindow>(); });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::select(const QString& path, int column)
{
    const auto* model = qobject_cast<QFileSystemModel*>(ui()->treeFiles->model());
    QVERIFY(model);
    QTRY_VERIFY(model->index(path, column).isValid());
    ui()->treeFiles->selectionModel()->select(model->index(path, column),
                                              QItemSelectionModel::Select);
}

// Clicks `button`; the boxes it opens go to `popups`, or must not come at all.
void TestMainWindow::click(QAbstractButton* button, QList<Popup>* popups)
{
    const QList<Popup> seen = withPopups([button] { QTest::mouseClick(button, Qt::LeftButton); });
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
            CHECKED(select(viewFolder));
        if (current == 3 && ui()->lineOutputFolderImg->text().isEmpty())
            ui()->lineOutputFolderImg->setText(fixtures.filePath(QStringLiteral("out")));
        CHECKED(click(ui()->buttonWizzardNext));
        QCOMPARE(ui()->toolBox->currentIndex(), current + 1);
    }
}

// Ticks exactly the named entries of the file-type tree.
void TestMainWindow::tickOnly(const QStringList& entries)
{
    for (QTreeWidgetItemIterator it(ui()->treeFileTypes); *it; ++it)
        (*it)->setCheckState(0, entries.contains((*it)->text(0)) ? Qt::Checked : Qt::Unchecked);
}

// Plays the engine's part: a source and its thumbnails.
void TestMainWindow::addResult(const QString& source, const QStringList& thumbnails)
{
    ThumbEngine::ThumbnailFiles files;
    files.insert(source, QSet<QString>(thumbnails.cbegin(), thumbnails.cend()));
    window->onGenerated(files);
}

QVariant TestMainWindow::widgetValue(const Binding& b) const
{
    if (b.key == QLatin1String("MVSFileTypes")) {
        QStringList ticked;
        window->fileTypesPage.checkedTypes(ticked, false);
        return ticked.join(QLatin1Char(','));
    }
    if (b.widget.isEmpty()) {
        const QList<bool> on{ui()->radioOutputBmp->isChecked(), ui()->radioOutputJpeg->isChecked(),
                             ui()->radioOutputPng->isChecked()};
        return on.count(true) == 1 ? on.indexOf(true) : -1;
    }
    const QWidget* widget = window->findChild<QWidget*>(b.widget);
    return widget ? widget->property(b.property.constData()) : QVariant();
}

// Generate, Stop, Background enabled (capital) or not; window shown, minimized or
// hidden (W, M, w); tray icon shown (T) or not; progress.
QString TestMainWindow::state() const
{
    return QString::asprintf(
        "%c%c%c %c%c %d", ui()->btnGenerate->isEnabled() ? 'G' : 'g',
        ui()->btnStop->isEnabled() ? 'S' : 's', ui()->btnBackground->isEnabled() ? 'B' : 'b',
        !window->isVisible() ? 'w' : window->isMinimized() ? 'M' : 'W',
        window->trayIcon.isVisible() ? 'T' : 't', ui()->progressBar->value());
}

void TestMainWindow::wizard_data()
{
    // n: Next with valid input, b: Back, c: empty every page's input.
    QTest::addColumn<QString>("steps");
    QTest::addRow("forward through every page") << "nnnn";
    QTest::addRow("back and forth in the middle") << "nnbnnbbb";
    QTest::addRow("back never warns, every page incomplete") << "nnnncbbbb";
}

// Back and Next, and the help page that Help opens, on every page reached.
void TestMainWindow::wizard()
{
    QFETCH(QString, steps);

    const QStringList help{"help-how-to-select-file-types.html",
                           "help-how-to-select-files-and-folders.html",
                           "help-how-to-appearance-options.html",
                           "help-how-thumbnails-output-options.html",
                           "help-how-to-generate-thumbnails.html"};
    const auto at = [&](int page) {
        QCOMPARE(ui()->toolBox->currentIndex(), page);
        QCOMPARE(ui()->stackedWidget->currentIndex(), page);
        QCOMPARE(ui()->buttonWizzardBack->isEnabled(), page != 0);
        QCOMPARE(ui()->buttonWizzardNext->isEnabled(), page != 4);
        opened.urls.clear();
        QTest::mouseClick(ui()->buttonWizzardHelp, Qt::LeftButton);
        QCOMPARE(opened.urls.size(), 1);
        QCOMPARE(opened.urls.first().fileName(), help[page]);
        for (const auto& f : page == 2 ? window->familyOptions() : QList<MainWindow::FamilyOptions>()) {
            for (const QSpinBox* spin : {f.width, f.height}) {
                const auto* edit = spin->findChild<QLineEdit*>();
                // The line edit keeps a margin of 2 pixels on each side.
                const int text = edit->fontMetrics().horizontalAdvance(QStringLiteral("1000"));
                const int room = edit->contentsRect().width() - 4;
                QVERIFY2(text <= room, qPrintable(QStringLiteral("%1: %2 > %3")
                                                      .arg(spin->objectName()).arg(text).arg(room)));
            }
        }
    };
    CHECKED(newWindow());
    int page = 0;
    CHECKED(at(page));
    for (const QChar step : steps) {
        if (step == QLatin1Char('n')) {
            CHECKED(goToPage(++page));
        } else if (step == QLatin1Char('b')) {
            --page;
            CHECKED(click(ui()->buttonWizzardBack));
        } else {
            tickOnly({});
            ui()->treeFiles->selectionModel()->clearSelection();
            ui()->lineOutputFolderImg->clear();
            ui()->templateEdit->clear();
        }
        CHECKED(at(page));
    }
    opened.urls.clear();
    ui()->actionContents->trigger();
    QCOMPARE(opened.urls.size(), 1);
    QCOMPARE(opened.urls.first().fileName(),
             QStringLiteral("help-introduction-system-requirements.html"));
}

void TestMainWindow::validators_data()
{
    // The input left on the page, as words: no-types, no-paths, no-folder, no-template,
    // file-folder ("Use file folder" ticked), odd (a missing folder, an unfinished template).
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("words");
    QTest::addColumn<QStringList>("warnings");

    QTest::addRow("no file type ticked") << 0 << "no-types" << QStringList{TypeWarning};
    QTest::addRow("nothing selected in the folders tree") << 1 << "no-paths"
                                                          << QStringList{PathWarning};
    QTest::addRow("options page accepts a first page beyond the last") << 2 << "" << QStringList();
    QTest::addRow("empty folder and name format warn in sequence")
        << 3 << "no-folder no-template" << QStringList{FolderWarning, TemplateWarning};
    QTest::addRow("empty folder") << 3 << "no-folder" << QStringList{FolderWarning};
    QTest::addRow("file folder used: only the name format can warn")
        << 3 << "no-folder no-template file-folder" << QStringList{TemplateWarning};
    QTest::addRow("only emptiness is checked") << 3 << "odd" << QStringList();
}

void TestMainWindow::validators()
{
    QFETCH(int, page);
    QFETCH(QString, words);
    QFETCH(QStringList, warnings);
    const QStringList input = words.split(QLatin1Char(' '));

    CHECKED(newWindow());
    CHECKED(goToPage(page));
    if (input.contains(QStringLiteral("no-types")))
        tickOnly({});
    if (input.contains(QStringLiteral("no-paths")))
        ui()->treeFiles->selectionModel()->clearSelection();
    const bool odd = input.contains(QStringLiteral("odd"));
    const QString folder = input.contains(QStringLiteral("no-folder")) ? QString()
                           : odd ? QStringLiteral("/no/such/folder")
                                 : QStringLiteral("/srv/out");
    const QString nameFormat = input.contains(QStringLiteral("no-template")) ? QString()
                               : odd ? QStringLiteral("[")
                                     : DefaultTemplate;
    ui()->lineOutputFolderImg->setText(folder);
    ui()->checkUserFileFolderImg->setChecked(input.contains(QStringLiteral("file-folder")));
    ui()->templateEdit->setText(nameFormat);
    ui()->pdfSpinPageFrom->setValue(5);
    ui()->pdfSpinPageTo->setValue(2);

    QList<Popup> popups;
    CHECKED(click(ui()->buttonWizzardNext, &popups));
    QStringList texts;
    for (const Popup& popup : popups) {
        texts << popup.text;
        QCOMPARE(popup.icon, QMessageBox::Warning);
        QCOMPARE(popup.parent, window.get());
    }
    QCOMPARE(texts, warnings);
    const int expected = warnings.isEmpty() ? page + 1 : page;
    QCOMPARE(ui()->toolBox->currentIndex(), expected);
    QCOMPARE(ui()->stackedWidget->currentIndex(), expected);
    QCOMPARE(ui()->lineOutputFolderImg->text(), folder);
    QCOMPARE(ui()->templateEdit->text(), nameFormat);
}

void TestMainWindow::nameFilters_data()
{
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QStringList>("visible");

    QStringList pictures;
    for (const QString& e : AllEntries.mid(27))
        pictures << QStringLiteral("*.") + e;
    QTest::addRow("only the pdf entry") << QStringList{PdfEntry} << QStringList{"*.pdf"}
                                        << QStringList{"a.pdf", "sub"};
    QTest::addRow("one extension") << QStringList{"jpg"} << QStringList{"*.jpg"}
                                   << QStringList{"c.jpg", "sub"};
    QTest::addRow("picture group") << QStringList(AllEntries.mid(26)) << pictures
                                   << QStringList{"b.png", "c.jpg", "sub"};
}

void TestMainWindow::nameFilters()
{
    QFETCH(QStringList, ticked);
    QFETCH(QStringList, filters);
    QFETCH(QStringList, visible);

    CHECKED(newWindow());
    tickOnly(ticked);
    const QAbstractItemModel* before = ui()->treeFiles->model();
    CHECKED(click(ui()->buttonWizzardNext));
    auto* model = qobject_cast<QFileSystemModel*>(ui()->treeFiles->model());
    QVERIFY(model && model != before);
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

    // Back to the types page and forward again rebuilds the view: the selection is gone.
    CHECKED(select(viewFolder));
    CHECKED(click(ui()->buttonWizzardBack));
    CHECKED(click(ui()->buttonWizzardNext));
    QVERIFY(ui()->treeFiles->model() != model);
    QVERIFY(window->filesFoldersPage.selectedPaths().isEmpty());
}

// Two cells of one row give the path twice; a folder gives its own path.
void TestMainWindow::selectedPaths()
{
    const QDir dir(viewFolder);
    CHECKED(newWindow());
    CHECKED(goToPage(1));
    CHECKED(select(dir.filePath(QStringLiteral("a.pdf")), 0));
    CHECKED(select(dir.filePath(QStringLiteral("a.pdf")), 1));
    CHECKED(select(dir.filePath(QStringLiteral("sub")), 0));
    QStringList paths;
    for (const char* name : {"a.pdf", "a.pdf", "sub"})
        paths << QDir::toNativeSeparators(dir.filePath(QLatin1String(name)));
    QCOMPARE(sorted(window->filesFoldersPage.selectedPaths()), paths);
    QCOMPARE(sorted(window->buildJob().paths), paths);
}

void TestMainWindow::aboutBox()
{
    CHECKED(newWindow());
    Qt::WindowFlags flags;
    QList<QSize> sizes;
    const QList<Popup> popups = withPopups([this] { ui()->actionAbout->trigger(); },
                                           [&](QWidget* popup) {
        flags = popup->windowFlags();
        sizes = {popup->size(), popup->minimumSize(), popup->maximumSize()};
        // The link is reachable from the keyboard and opens the mail program.
        auto* label = popup->findChild<QLabel*>(QStringLiteral("label_2"));
        if (!label || !QTest::qWaitForWindowActive(popup))
            return;
        label->setFocus(Qt::TabFocusReason);
        QTest::keyClick(label, Qt::Key_Tab);
        QTest::keyClick(label, Qt::Key_Return);
    });
    QCOMPARE(popups.size(), 1);
    QCOMPARE(popups.first().type, QStringLiteral("AboutDialog"));
    QVERIFY(!popups.first().parent);
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    const Qt::WindowFlags hints = Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint;
    QCOMPARE(flags & (hints | Qt::WindowContextHelpButtonHint | Qt::WindowMinMaxButtonsHint),
             hints);
    QCOMPARE(sizes, (QList<QSize>{QSize(596, 217), QSize(596, 217), QSize(596, 217)}));
    const QUrl mail(QStringLiteral("mailto:") + QString::fromUtf8(MIRAVEL_SUPPORT_EMAIL));
    QCOMPARE(opened.urls, QList<QUrl>{mail});

    // Where nothing can open them (the handler cannot be called), help and mail say so.
    for (const char* scheme : {"file", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "missing");
    AboutDialog about;
    const QList<Popup> failed = withPopups([&] {
        ui()->actionContents->trigger();
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

void TestMainWindow::officeBox_data()
{
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<bool>("dontShowBefore");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("missing"); // as the box lists it; empty: no box
    QTest::addColumn<QString>("stored");

    const QStringList all = {"Microsoft Word", "Microsoft Excel", "Microsoft PowerPoint"};
    QTest::addRow("only spreadsheets missing, an empty line before the name, unticked")
        << QStringList{all[1]} << false << false << "\nMicrosoft Excel" << "false";
    QTest::addRow("all missing, box ticked")
        << all << false << true << "Microsoft Word\nMicrosoft Excel\nMicrosoft PowerPoint"
        << "true";
    QTest::addRow("all available: no box") << QStringList() << false << true << QString()
                                           << QString();
    QTest::addRow("box suppressed, families still disabled") << all << true << false << QString()
                                                             << "true";
}

void TestMainWindow::officeBox()
{
    QFETCH(QStringList, absent);
    QFETCH(bool, dontShowBefore);
    QFETCH(bool, tick);
    QFETCH(QString, missing);
    QFETCH(QString, stored);

    const QString key = QStringLiteral("MVSOfficeWarningDontShow");
    CHECKED(newWindow());
    QCOMPARE(startupPopups.size(), unavailable().isEmpty() ? 0 : 1);
    QSettings(Maker, Product).clear();
    if (dontShowBefore)
        QSettings(Maker, Product).setValue(key, true);
    ui()->wordSpinThumbWidth->setValue(333);
    bool stayedOpen = false;
    const QList<Popup> popups = withPopups(
        [&] {
            window->applyOfficeAvailability(!absent.contains(AllEntries[1]),
                                            !absent.contains(AllEntries[6]),
                                            !absent.contains(AllEntries[11]));
        },
        [&](QWidget* popup) {
            auto* check = popup->findChild<QCheckBox*>();
            if (check && tick)
                check->click();
            stayedOpen = check && popup->isVisible();
        });

    QCOMPARE(popups.size(), missing.isEmpty() ? 0 : 1);
    if (!missing.isEmpty()) {
        QVERIFY2(popups.first().text.startsWith(OfficeIntro + missing + "\n\nPlease, install "),
                 qPrintable(popups.first().text));
        QCOMPARE(popups.first().icon, QMessageBox::Warning);
        QVERIFY(!popups.first().parent);
        QVERIFY2(stayedOpen, "no check box, or clicking it closed the box");
    }
    QCOMPARE(QSettings(Maker, Product).value(key).toString(), stored);

    // Groups and entries go only for what is missing (here or at start-up).
    const QStringList off = unavailable(absent);
    QCOMPARE(ui()->groupWordOptions->isEnabled(), !off.contains(AllEntries[1]));
    QCOMPARE(ui()->groupExcelOptions->isEnabled(), !off.contains(AllEntries[6]));
    QCOMPARE(ui()->groupPowerPointOptions->isEnabled(), !off.contains(AllEntries[11]));
    for (QTreeWidgetItemIterator it(ui()->treeFileTypes); *it; ++it) {
        QCOMPARE((*it)->isDisabled(), off.contains((*it)->text(0)));
        QCOMPARE((*it)->checkState(0), (*it)->isDisabled() ? Qt::Unchecked : Qt::Checked);
    }
    // Disabled groups are saved all the same.
    window->saveSettings();
    QCOMPARE(QSettings(Maker, Product).value(QStringLiteral("MVSWordMVSWidth")).toInt(), 333);
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

void TestMainWindow::settings_data()
{
    QTest::addColumn<QString>("key"); // empty: nothing stored
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("shown"); // also what closing saves

    QTest::addRow("first start: defaults") << QString() << QVariant() << QVariant();
    for (const Binding& b : bindings())
        QTest::addRow("%s", qPrintable(b.key)) << b.key << b.changed << b.changed;
    const QList<std::tuple<const char*, const char*, QVariant, QVariant>> rows{
        {"format 1 is jpeg", "MVSOutputFormat", 1, 1},
        {"format 5 leaves png, saved as 2", "MVSOutputFormat", 5, 2},
        {"empty template stays empty", "MVSNameFormat", QString(), QString()},
        {"width below range raised", "MVSWordMVSWidth", 5, 20},
        {"height above range lowered", "MVSPictureMVSHeight", 5000, 1000},
        {"page below range raised", "MVSExcelMVSPStart", 0, 1},
        {"non-numeric width gives the minimum", "MVSPdfMVSWidth", "wide", 20},
        {"first page beyond the last kept", "MVSPdfMVSPStart", 3, 3}};
    for (const auto& [name, key, stored, shown] : rows)
        QTest::addRow("%s", name) << QString::fromLatin1(key) << stored << shown;
}

void TestMainWindow::settings()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, shown);

    if (!key.isEmpty())
        QSettings(Maker, Product).setValue(key, stored);
    // "key=value" for every binding.
    const auto listed = [](const std::function<QVariant(const Binding&)>& value) {
        QStringList list;
        for (const Binding& b : bindings())
            list << b.key + QLatin1Char('=') + value(b).toString();
        return list;
    };
    const QStringList expected =
        listed([&](const Binding& b) { return b.key == key ? shown : b.byDefault; });
    // Shown at start, saved when the window closes, shown again at the next start.
    for (int start = 0; start < 2; ++start) {
        CHECKED(newWindow());
        QCOMPARE(listed([this](const Binding& b) { return widgetValue(b); }), expected);
        QVERIFY(window->engine.isRunning());
        QVERIFY(window->close());
        QVERIFY(window->engine.isFinished());
        const QSettings saved(Maker, Product);
        QCOMPARE(listed([&](const Binding& b) { return saved.value(b.key); }), expected);
    }
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
    QTest::addRow("page at the end") << "btnTemplatePage" << "thumbnail_[NAME]_" << 17 << 0
                                     << DefaultTemplate;
    QTest::addRow("name over a selection") << "btnTemplateName" << "xabcy" << 4 << 3
                                           << "x[NAME]y";
    QTest::addRow("reset over a selection") << "btnTemplateResetDefault" << "[DATE]_[TIME]" << 6
                                            << 4 << DefaultTemplate;
    QTest::addRow("reset an empty field") << "btnTemplateResetDefault" << QString() << 0 << 0
                                          << DefaultTemplate;
}

void TestMainWindow::templateEdit()
{
    QFETCH(QString, button);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(int, selected);
    QFETCH(QString, after);

    CHECKED(newWindow());
    CHECKED(goToPage(3));
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QLineEdit* edit = ui()->templateEdit;
    edit->setText(before);
    edit->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(edit->hasFocus());
    edit->setCursorPosition(cursor);
    edit->cursorBackward(true, selected);
    auto* target = window->findChild<QAbstractButton*>(button);
    QVERIFY(target);
    QTest::mouseClick(target, Qt::LeftButton);
    QCOMPARE(edit->text(), after);
}

void TestMainWindow::useFileFolder()
{
    const QString folder = QStringLiteral("/srv/out");
    {
        QSettings settings(Maker, Product);
        settings.setValue(QStringLiteral("MVSUseFileFolder"), true);
        settings.setValue(QStringLiteral("MVSOutputFolder"), folder);
    }
    CHECKED(newWindow());
    CHECKED(goToPage(3));
    for (const bool on : {true, false, true}) {
        if (ui()->checkUserFileFolderImg->isChecked() != on)
            ui()->checkUserFileFolderImg->click();
        QCOMPARE(ui()->checkUserFileFolderImg->isChecked(), on);
        QCOMPARE(ui()->lineOutputFolderImg->isEnabled(), !on);
        QCOMPARE(ui()->btnOutputFolderImg->isEnabled(), !on);
        QCOMPARE(ui()->lineOutputFolderImg->text(), folder);
    }
}

void TestMainWindow::buildJob_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("useFileFolder");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("outputFolder");

    QTest::addRow("png into a common folder") << 2 << false << "/srv/out" << "/srv/out/";
    QTest::addRow("jpeg beside each source, folder ignored") << 1 << true << "/srv/out"
                                                             << QString();
    QTest::addRow("bmp into a folder with its separator") << 0 << false << "/srv/out/"
                                                          << "/srv/out/";
}

void TestMainWindow::buildJob()
{
    QFETCH(int, format);
    QFETCH(bool, useFileFolder);
    QFETCH(QString, folder);
    QFETCH(QString, outputFolder);

    CHECKED(newWindow());
    tickOnly(AllEntries.mid(14, 12) << QStringLiteral("png")); // Text, its extensions, PDF
    CHECKED(goToPage(1));
    CHECKED(select(fixtures.path()));
    CHECKED(select(viewFolder));
    // Sizes, pages and keep boxes as the bindings' changed values; two keep boxes stay on.
    for (const Binding& b : bindings()) {
        if (b.property == "value" || b.key.endsWith(QLatin1String("Ratio")))
            QVERIFY(window->findChild<QWidget*>(b.widget)->setProperty(b.property.constData(),
                                                                       b.changed));
    }
    ui()->excelCheckKeepAspectRatio->setChecked(true);
    ui()->pdfCheckKeepAspectRatio->setChecked(true);
    ui()->chkRecursive->setChecked(false);
    QRadioButton* radios[] = {ui()->radioOutputBmp, ui()->radioOutputJpeg, ui()->radioOutputPng};
    radios[format]->setChecked(true);
    ui()->lineOutputFolderImg->setText(folder);
    ui()->checkUserFileFolderImg->setChecked(useFileFolder);
    ui()->templateEdit->setText(QStringLiteral("[NAME]_x"));

    const ThumbJob job = window->buildJob();
    QCOMPARE(job.extensions, (QStringList{"txt", "xml", "log", "ans", "asc", "csv", "nfo", "1st",
                                          "bat", "info", "pdf", "png"}));
    QCOMPARE(sorted(job.paths), sorted({fixtures.path(), viewFolder}));
    QCOMPARE(job.recursive, false);
    // family: width, height, first page, last page, keep aspect ratio
    const QMap<int, QList<int>> expected{
        {Word, {101, 102, 3, 17, 0}},  {Excel, {111, 112, 4, 18, 1}},
        {PowerPoint, {121, 122, 5, 19, 0}}, {Pdf, {131, 132, 6, 20, 1}},
        {Picture, {141, 142, 1, 1, 0}}, {Text, {131, 132, 1, 1, 1}}};
    QCOMPARE(job.settings.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const ThumbSettings s = job.settings.value(it.key());
        QCOMPARE((QList<int>{s.width, s.height, s.pageStart, s.pageEnd, int(s.keepAspectRatio)}),
                 it.value());
        QCOMPARE(s.nameFormat, QStringLiteral("[NAME]_x"));
        QCOMPARE(s.outputFolder, outputFolder);
        QCOMPARE(int(s.outputFormat), format);
        QCOMPARE(s.useFileFolder, useFileFolder);
    }
}

void TestMainWindow::states_data()
{
    // Steps: generate (the engine then reports three files), file (one starts), stop,
    // finished or stopped (the engine's end of job), background, trigger or context (tray).
    QTest::addColumn<bool>("trayAvailable");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("states"); // see state()
    QTest::addColumn<QString>("toolTip");

    QTest::addRow("three files: 33, 66, 100 as they start")
        << true << QStringList{"generate", "file", "file", "file", "finished"}
        << QStringList{"gSB Wt 0", "gSB Wt 33", "gSB Wt 66", "gSB Wt 100", "Gsb Wt 100"}
        << QString();
    QTest::addRow("stop sets 0 at once, the stopped job keeps it")
        << true << QStringList{"generate", "file", "file", "stop", "stopped"}
        << QStringList{"gSB Wt 0", "gSB Wt 33", "gSB Wt 66", "gsb Wt 0", "Gsb Wt 0"} << QString();
    QTest::addRow("background, job ends, tray click brings the window back")
        << true << QStringList{"generate", "background", "finished", "trigger"}
        << QStringList{"gSB Wt 0", "gSB wT 0", "Gsb wT 100", "Gsb Wt 100"} << "Miravel: Done";
    QTest::addRow("tray activated while running")
        << true << QStringList{"generate", "background", "context"}
        << QStringList{"gSB Wt 0", "gSB wT 0", "gSB Wt 0"} << "Miravel: Making thumbnails...";
    QTest::addRow("background without a tray minimizes")
        << false << QStringList{"generate", "background", "finished"}
        << QStringList{"gSB Wt 0", "gSB Mt 0", "Gsb Mt 100"} << QString();
    QTest::addRow("a tray host that came after start-up is used")
        << false << QStringList{"generate", "tray-on", "background"}
        << QStringList{"gSB Wt 0", "gSB Wt 0", "gSB wT 0"} << "Miravel: Making thumbnails...";
    QTest::addRow("the tray host quits while hidden: the window comes back minimized")
        << true << QStringList{"generate", "background", "tray-off", "finished"}
        << QStringList{"gSB Wt 0", "gSB wT 0", "gSB Mt 0", "Gsb Mt 100"}
        << "Miravel: Making thumbnails...";
}

void TestMainWindow::states()
{
    QFETCH(bool, trayAvailable);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, states);
    QFETCH(QString, toolTip);

    CHECKED(newWindow());
    QVERIFY(QObject::disconnect(&window->engine, nullptr, window.get(), nullptr));
    const auto tray = std::make_shared<bool>(trayAvailable);
    window->trayAvailable = [tray] { return *tray; };
    CHECKED(goToPage(4));
    ui()->progressBar->setValue(40);
    for (int i = 0; i < steps.size(); ++i) {
        const QString& step = steps[i];
        if (step == QLatin1String("generate")) {
            QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
            window->onStatus(ThumbEngine::KNumFiles, 3);
        } else if (step == QLatin1String("file")) {
            window->onStatus(ThumbEngine::KCurrentFile, QStringLiteral("/data/a.pdf"));
        } else if (step == QLatin1String("stop")) {
            QTest::mouseClick(ui()->btnStop, Qt::LeftButton);
        } else if (step == QLatin1String("background")) {
            QTest::mouseClick(ui()->btnBackground, Qt::LeftButton);
        } else if (step.startsWith(QLatin1String("tray-"))) {
            *tray = step == QLatin1String("tray-on");
        } else if (step == QLatin1String("finished") || step == QLatin1String("stopped")) {
            window->onJobDone(step == QLatin1String("finished") ? ThumbEngine::KFinished
                                                                : ThumbEngine::KStopped);
        } else {
            emit window->trayIcon.activated(step == QLatin1String("trigger")
                                                ? QSystemTrayIcon::Trigger
                                                : QSystemTrayIcon::Context);
        }
        // The window hides on the next turn of the event loop.
        QTRY_COMPARE(state(), states[i]);
    }
    QCOMPARE(window->trayIcon.toolTip(), toolTip);
}

void TestMainWindow::jobOutcome_data()
{
    QTest::addColumn<QString>("folder");   // the output folder, below the fixtures
    QTest::addColumn<QString>("end");      // how the engine ends the job; empty: it never starts
    QTest::addColumn<QStringList>("none"); // sources the engine reports without thumbnails
    QTest::addColumn<QString>("outcome");

    QTest::addRow("finished; the missing output folder is made with its parents")
        << "made/new" << "finished" << QStringList()
        << "Finished. Thumbnails made: 3. Files that gave none: 0.";
    QTest::addRow("stopped; files that gave none are listed apart")
        << "made" << "stopped" << QStringList{"/d/broken.png", "/d/empty.pdf"}
        << "Stopped. Thumbnails made: 3. Files that gave none: 2.";
    QTest::addRow("output folder cannot be made: a box, and no job")
        << "a_1.png/sub" << QString() << QStringList() << "previous";
}

// What the window shows when a job ends, and Generate's output folder.
void TestMainWindow::jobOutcome()
{
    QFETCH(QString, folder);
    QFETCH(QString, end);
    QFETCH(QStringList, none);
    QFETCH(QString, outcome);

    CHECKED(newWindow());
    QVERIFY(QObject::disconnect(&window->engine, nullptr, window.get(), nullptr));
    CHECKED(goToPage(4));
    const QString output = fixtures.filePath(folder);
    ui()->lineOutputFolderImg->setText(output);
    ui()->lblOutcome->setText(QStringLiteral("previous"));
    QList<Popup> popups;
    CHECKED(click(ui()->btnGenerate, &popups));
    QCOMPARE(popups.size(), end.isEmpty() ? 1 : 0);
    if (end.isEmpty()) {
        QVERIFY2(popups[0].text.contains(output), qPrintable(popups[0].text));
        QCOMPARE(popups[0].parent, window.get());
        QVERIFY(ui()->btnGenerate->isEnabled());
        QCOMPARE(ui()->lblOutcome->text(), outcome);
        return;
    }
    QVERIFY(QFileInfo(output).isDir());
    QVERIFY(ui()->lblOutcome->text().isEmpty());
    addResult(QStringLiteral("/d/a.pdf"), {"/o/a_1.png", "/o/a_2.png"});
    for (const QString& path : none)
        window->onNoThumbnails(path);
    addResult(QStringLiteral("/d/b.png"), {"/o/b_1.png"});
    window->onJobDone(end == QLatin1String("finished") ? ThumbEngine::KFinished
                                                       : ThumbEngine::KStopped);
    QCOMPARE(ui()->lblOutcome->text(), outcome);

    // Marked, without thumbnails beneath, and not among the thumbnails copied.
    QStringList marked;
    for (int i = 0; i < ui()->treeThumbnails->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ui()->treeThumbnails->topLevelItem(i);
        if (item->childCount() == 0 && !item->toolTip(0).isEmpty())
            marked << item->text(0);
    }
    QCOMPARE(marked, none);
    ui()->actionCopy_All_File_Names->trigger();
    QCOMPARE(QApplication::clipboard()->text().count(QStringLiteral("/o/")), 3);
    QVERIFY(!QApplication::clipboard()->text().contains(QStringLiteral("/d/")));
}

// Thumbnail paths only, each ending with a line feed; an empty list copies empty text.
void TestMainWindow::copyAllFileNames()
{
    CHECKED(newWindow());
    QApplication::clipboard()->setText(QStringLiteral("previous"));
    ui()->actionCopy_All_File_Names->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString());

    const QStringList thumbnails{"/o/a_1.png", "/o/a_2.png", "/o/b_1.png", "/o/b_2.png"};
    addResult(QStringLiteral("/d/a.pdf"), thumbnails.mid(0, 2));
    addResult(QStringLiteral("/d/b.pdf"), thumbnails.mid(2, 2));
    ui()->actionCopy_All_File_Names->trigger();
    QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(sorted(lines), thumbnails);
    for (int i = 0; i < lines.size(); ++i) // source by source, in tree order
        QVERIFY(lines[i].startsWith(thumbnails[i].left(5)));
}

void TestMainWindow::contextMenu_data()
{
    QTest::addColumn<QString>("target"); // source, thumbnail, below (the items), empty (list)
    QTest::addColumn<QString>("action"); // clicked in the menu; "generate": none, Generate after
    QTest::addColumn<QString>("result"); // the clipboard, or the folder "Go to File" opens

    const QString copy = QStringLiteral("Copy file name");
    QTest::addRow("copy on a source") << "source" << copy << "/d/a.pdf";
    QTest::addRow("copy on a thumbnail") << "thumbnail" << copy << thumbnail;
    QTest::addRow("go to file opens its folder") << "thumbnail" << "Go to File" << fixtures.path();
    QTest::addRow("no menu on empty space") << "below" << copy << "previous";
    QTest::addRow("no menu on an empty list") << "empty" << copy << "previous";
    QTest::addRow("generate forgets the item") << "thumbnail" << "generate" << "previous";
}

void TestMainWindow::contextMenu()
{
    QFETCH(QString, target);
    QFETCH(QString, action);
    QFETCH(QString, result);

    CHECKED(newWindow());
    CHECKED(goToPage(4));
    QTreeWidget* tree = ui()->treeThumbnails;
    if (target != QLatin1String("empty"))
        addResult(QStringLiteral("/d/a.pdf"), {thumbnail});
    tree->expandAll();
    const bool onItem = target == QLatin1String("source") || target == QLatin1String("thumbnail");
    QTreeWidgetItem* item = !onItem ? nullptr
                            : target == QLatin1String("source") ? tree->topLevelItem(0)
                                                                : tree->topLevelItem(0)->child(0);
    const QPoint pos =
        item ? tree->visualItemRect(item).center() : QPoint(10, tree->viewport()->height() - 5);

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
    QCOMPARE(popups.size(), onItem ? 1 : 0);
    QCOMPARE(window->contextItem, item);
    if (action == QLatin1String("generate")) {
        QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
        QVERIFY(!window->contextItem);
        ui()->actionCopy_File_Path->trigger();
        ui()->actionGo_to_File->trigger();
    }
    if (action == QLatin1String("Go to File"))
        QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(result)});
    else
        QVERIFY(opened.urls.isEmpty());
    QCOMPARE(QApplication::clipboard()->text(),
             action == QLatin1String("Go to File") ? QStringLiteral("previous") : result);
}

void TestMainWindow::endToEnd()
{
    QVERIFY2(QFileInfo(QCoreApplication::applicationDirPath()
                       + QStringLiteral("/pdf2png/pdftopng")).isExecutable(),
             "pdftopng is not built beside the test");

    QTemporaryDir data;
    const QDir in(data.filePath(QStringLiteral("in")));
    // Generate makes the output folder.
    const QDir out(data.filePath(QStringLiteral("out/new")));
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
    // A broken picture is listed without thumbnails.
    QFile broken(in.filePath(QStringLiteral("broken.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();
    expected.insert(broken.fileName(), 0);

    CHECKED(newWindow());
    CHECKED(click(ui()->buttonWizzardNext));
    CHECKED(select(in.path()));
    CHECKED(click(ui()->buttonWizzardNext));
    ui()->pdfSpinPageTo->setValue(2);
    CHECKED(click(ui()->buttonWizzardNext));
    ui()->lineOutputFolderImg->setText(QDir::toNativeSeparators(out.path()));
    CHECKED(click(ui()->buttonWizzardNext));

    QTest::mouseClick(ui()->btnGenerate, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui()->btnGenerate->isEnabled(), 60000);
    QCOMPARE(ui()->progressBar->value(), 100);
    QCOMPARE(ui()->lblFilesNumber->text(), QString::number(expected.size()));

    QTreeWidget* tree = ui()->treeThumbnails;
    QMap<QString, int> listed;
    QStringList thumbnails;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* source = tree->topLevelItem(i);
        listed.insert(QDir::fromNativeSeparators(source->text(0)), source->childCount());
        for (int c = 0; c < source->childCount(); ++c) {
            const QFileInfo file(source->child(c)->text(0));
            QVERIFY2(file.isFile(), qPrintable(file.filePath()));
            QCOMPARE(file.absolutePath(), out.path());
            thumbnails << file.fileName();
        }
    }
    QCOMPARE(listed, expected);
    QCOMPARE(sorted(thumbnails), sorted(out.entryList(QDir::Files)));
    QCOMPARE(ui()->lblOutcome->text(),
             QStringLiteral("Finished. Thumbnails made: %1. Files that gave none: 1.")
                 .arg(thumbnails.size()));
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
