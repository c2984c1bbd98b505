#include "PageFileTypes.h"
#include "ui_MainWindow.h"

#include <QMainWindow>
#include <QStyledItemDelegate>
#include <QtTest>

#include <memory>

namespace {

const QString Word = QStringLiteral("Microsoft Word");
const QString Excel = QStringLiteral("Microsoft Excel");
const QString PowerPoint = QStringLiteral("Microsoft PowerPoint");
const QString Pdf = QStringLiteral("Portable Document Format (PDF)");

// Every entry of the tree, depth-first.
const QStringList All = QStringLiteral(
    "Documents,Microsoft Word,doc,docx,rtf,odt,Microsoft Excel,xls,xlsx,xlsm,ods,"
    "Microsoft PowerPoint,ppt,pptx,Text,txt,xml,log,ans,asc,csv,nfo,1st,bat,info,"
    "Portable Document Format (PDF),Pictures,jpg,jpeg,jpe,jif,jfif,jfi,png,ppm,pgm,pbm,pnm,"
    "tiff,tif,gif,bmp,dib,xbm,xpm").split(QLatin1Char(','));
const QStringList WordEntries = All.mid(1, 5);
const QStringList ExcelEntries = All.mid(6, 5);
const QStringList PictureEntries = All.mid(26); // the group first

// The list a first start hands to the page.
const QString DefaultSaved = QStringLiteral(
    "xlsx,xlsm,xls,ods,bmp,dib,jpg,jpeg,jpe,jif,jfif,jfi,png,ppm,pgm,pbm,pnm,xbm,xpm,tiff,tif,"
    "gif,pdf,ppt,pptx,txt,log,ans,asc,csv,nfo,1st,xml,bat,info,doc,docx,rtf,odt,Documents,"
    "Pictures,Microsoft Word,Microsoft Excel,Microsoft PowerPoint,Text,"
    "Portable Document Format (PDF)");

QStringList except(const QStringList& names)
{
    QStringList result = All;
    for (const QString& name : names)
        result.removeOne(name);
    return result;
}

// Gives access to the delegate's option set-up, to find where it draws the check box.
class OptionDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::initStyleOption;
};

} // namespace

class TestFileTypes : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void treeIsSetUp();
    void checkedTypes_data();
    void checkedTypes();
    void clicks_data();
    void clicks();
    void disableFileType_data();
    void disableFileType();

private:
    void setUp(const QString& saved, const QStringList& disabled = {});
    void click(const QString& text);
    QStringList entries(bool disabled) const;

    std::unique_ptr<QMainWindow> host;
    std::unique_ptr<Ui::MainWindow> form;
    std::unique_ptr<PageFileTypes> page;
};

void TestFileTypes::cleanup()
{
    page.reset();
    host.reset();
    form.reset();
}

// The window's form with the page bound to its tree.
void TestFileTypes::setUp(const QString& saved, const QStringList& disabled)
{
    host = std::make_unique<QMainWindow>();
    form = std::make_unique<Ui::MainWindow>();
    form->setupUi(host.get());
    page = std::make_unique<PageFileTypes>();
    page->setupTree(form->treeFileTypes, saved.split(QLatin1Char(',')));
    for (const QString& family : disabled)
        page->disableFileType(family);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
}

// A mouse click on the entry's check box, or on its label with a "text:" prefix.
void TestFileTypes::click(const QString& name)
{
    const bool onText = name.startsWith(QLatin1String("text:"));
    QTreeWidget* tree = form->treeFileTypes;
    const auto found = tree->findItems(onText ? name.mid(5) : name,
                                       Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY2(found.size() == 1, qPrintable(name));
    QTreeWidgetItem* entry = found.first();
    // EnsureVisible leaves a row cut by the bottom edge where it is.
    tree->scrollToItem(entry, QAbstractItemView::PositionAtCenter);
    QTRY_VERIFY(tree->viewport()->rect().contains(tree->visualItemRect(entry)));

    QStyleOptionViewItem option;
    option.initFrom(tree);
    option.font = tree->font();
    option.decorationSize = tree->iconSize();
    option.rect = tree->visualItemRect(entry);
    OptionDelegate().initStyleOption(&option, tree->indexAt(option.rect.center()));
    const auto element =
        onText ? QStyle::SE_ItemViewItemText : QStyle::SE_ItemViewItemCheckIndicator;
    const QRect rect = tree->style()->subElementRect(element, &option, tree);
    QVERIFY(rect.isValid());
    const QPoint at = onText ? QPoint(rect.left() + 4, rect.center().y()) : rect.center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
}

// The ticked entries, or the disabled ones, in tree order.
QStringList TestFileTypes::entries(bool disabled) const
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(form->treeFileTypes); *it; ++it) {
        if (disabled ? (*it)->isDisabled() : (*it)->checkState(0) == Qt::Checked)
            texts << (*it)->text(0);
    }
    return texts;
}

void TestFileTypes::treeIsSetUp()
{
    setUp(DefaultSaved);
    QStringList texts;
    for (QTreeWidgetItemIterator it(form->treeFileTypes); *it; ++it) {
        texts << (*it)->text(0);
        QVERIFY((*it)->flags() & Qt::ItemIsUserCheckable);
        QVERIFY(!((*it)->flags() & (Qt::ItemIsAutoTristate | Qt::ItemIsUserTristate)));
        QVERIFY((*it)->childCount() == 0 || (*it)->isExpanded());
    }
    QCOMPARE(texts, All);
}

void TestFileTypes::checkedTypes_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<bool>("extensionsOnly");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("default list: 39 extensions in tree order")
        << DefaultSaved << true
        << QStringList{"doc", "docx", "rtf", "odt", "xls", "xlsx", "xlsm", "ods", "ppt", "pptx",
                       "txt", "xml", "log", "ans", "asc", "csv", "nfo", "1st", "bat", "info",
                       "pdf", "jpg", "jpeg", "jpe", "jif", "jfif", "jfi", "png", "ppm", "pgm",
                       "pbm", "pnm", "tiff", "tif", "gif", "bmp", "dib", "xbm", "xpm"};
    QTest::addRow("default list: every entry") << DefaultSaved << false << All;
    QTest::addRow("families without extensions give no extension")
        << "Documents,Microsoft Word,Text" << true << QStringList();
    QTest::addRow("families without extensions: every entry")
        << "Documents,Microsoft Word,Text" << false << QStringList{"Documents", Word, "Text"};
    QTest::addRow("pdf entry maps to pdf") << Pdf << true << QStringList{"pdf"};
    QTest::addRow("extensions count without their family, in tree order")
        << "png,Documents,txt,docx" << true << QStringList{"docx", "txt", "png"};
    QTest::addRow("nothing ticked") << QString() << true << QStringList();
}

void TestFileTypes::checkedTypes()
{
    QFETCH(QString, saved);
    QFETCH(bool, extensionsOnly);
    QFETCH(QStringList, expected);

    setUp(saved);
    QStringList result{"stale"}; // the list is emptied first
    page->checkedTypes(result, extensionsOnly);
    QCOMPARE(result, expected);
}

void TestFileTypes::clicks_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("ticked");

    const QString D = DefaultSaved;
    const QStringList none;
    const QStringList excel{Excel};
    QTest::addRow("group untick unticks everything below") << D << none << QStringList{"Documents"}
                                                            << PictureEntries;
    QTest::addRow("group ticked again ticks everything below")
        << D << none << QStringList{"Documents", "Documents"} << All;
    QTest::addRow("extension untick unticks family and group")
        << D << none << QStringList{"docx"} << except({"docx", Word, "Documents"});
    QTest::addRow("extension ticked again ticks family and group")
        << D << none << QStringList{"docx", "docx"} << All;
    QTest::addRow("group stays unticked while another family is incomplete")
        << D << none << QStringList{"xls", "docx", "docx"} << except({"xls", Excel, "Documents"});
    QTest::addRow("family untick spreads down and up")
        << D << none << QStringList{Word} << except(WordEntries + QStringList{"Documents"});
    QTest::addRow("last extension ticked completes family and group")
        << D << none << QStringList{PowerPoint, "ppt", "pptx"} << All;
    QTest::addRow("label click on a consistent tree changes nothing")
        << D << none << QStringList{"text:docx", "text:Documents"} << All;
    QTest::addRow("disabled family and extension cannot be clicked")
        << D << excel << QStringList{Excel, "xlsx", "text:xlsm"} << except(ExcelEntries);
    QTest::addRow("group tick skips a disabled family")
        << D << excel << QStringList{"Documents", "Documents"} << except(ExcelEntries);
    QTest::addRow("disabled family keeps its group unticked")
        << D << excel << QStringList{"docx", "docx"}
        << except(ExcelEntries + QStringList{"Documents"});
    QTest::addRow("saved family without extensions stays ticked")
        << Word << none << none << QStringList{Word};
    QTest::addRow("label click below a saved family brings it into line")
        << Word << none << QStringList{"text:doc"} << QStringList();
    QTest::addRow("saved names match in any case")
        << "DOCX,pictures,Jpg,microsoft excel" << none << none
        << QStringList{"docx", Excel, "Pictures", "jpg"};
    QTest::addRow("saved pdf matches no entry") << "pdf" << none << none << QStringList();
    QTest::addRow("every picture extension ticked ticks the group")
        << QString() << none << QStringList(PictureEntries.mid(1)) << PictureEntries;
}

void TestFileTypes::clicks()
{
    QFETCH(QString, saved);
    QFETCH(QStringList, disabled);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, ticked);

    setUp(saved, disabled);
    const QStringList disabledBefore = entries(true);
    for (const QString& name : clicks) {
        click(name);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(entries(false), ticked);
    QCOMPARE(entries(true), disabledBefore);
    for (QTreeWidgetItemIterator it(form->treeFileTypes); *it; ++it)
        QVERIFY((*it)->checkState(0) != Qt::PartiallyChecked);
}

void TestFileTypes::disableFileType_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("disabled");

    QTest::addRow("word") << Word << WordEntries;
    QTest::addRow("spreadsheet") << Excel << ExcelEntries;
    QTest::addRow("presentation") << PowerPoint << QStringList(All.mid(11, 3));
    QTest::addRow("name in another case matches nothing") << "microsoft word" << QStringList();
    QTest::addRow("extension matches nothing") << "docx" << QStringList();
    QTest::addRow("group matches nothing") << "Documents" << QStringList();
}

void TestFileTypes::disableFileType()
{
    QFETCH(QString, family);
    QFETCH(QStringList, disabled);

    setUp(DefaultSaved, {family});
    QCOMPARE(entries(true), disabled);
    // The entries go unticked; the group above keeps its tick.
    QCOMPARE(entries(false), except(disabled));
}

int main(int argc, char* argv[])
{
    // The form's icons live in the window's static library.
    Q_INIT_RESOURCE(res);
    QApplication app(argc, argv);
    TestFileTypes test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filetypes.moc"
