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

// The list a first start hands to the page.
const QString DefaultSaved = QStringLiteral(
    "xlsx,xlsm,xls,ods,bmp,dib,jpg,jpeg,jpe,jif,jfif,jfi,png,ppm,pgm,pbm,pnm,xbm,xpm,tiff,tif,"
    "gif,pdf,ppt,pptx,txt,log,ans,asc,csv,nfo,1st,xml,bat,info,doc,docx,rtf,odt,Documents,"
    "Pictures,Microsoft Word,Microsoft Excel,Microsoft PowerPoint,Text,"
    "Portable Document Format (PDF)");

const QStringList WordExtensions = {"doc", "docx", "rtf", "odt"};
const QStringList ExcelExtensions = {"xls", "xlsx", "xlsm", "ods"};
const QStringList PowerPointExtensions = {"ppt", "pptx"};
const QStringList TextExtensions = {"txt", "xml", "log", "ans", "asc",
                                    "csv", "nfo", "1st", "bat", "info"};
const QStringList PictureExtensions = {"jpg", "jpeg", "jpe", "jif", "jfif", "jfi",
                                       "png", "ppm", "pgm", "pbm", "pnm", "tiff",
                                       "tif", "gif", "bmp", "dib", "xbm", "xpm"};

struct Entry
{
    QString text;
    QString parent; // empty for a group
};

// Every entry of the tree, depth-first, with its parent.
QList<Entry> treeEntries()
{
    QList<Entry> entries{{"Documents", {}}};
    const auto family = [&entries](const QString& name, const QStringList& extensions) {
        entries << Entry{name, "Documents"};
        for (const QString& e : extensions)
            entries << Entry{e, name};
    };
    family(Word, WordExtensions);
    family(Excel, ExcelExtensions);
    family(PowerPoint, PowerPointExtensions);
    family("Text", TextExtensions);
    family(Pdf, {});
    entries << Entry{"Pictures", {}};
    for (const QString& e : PictureExtensions)
        entries << Entry{e, "Pictures"};
    return entries;
}

QStringList allTexts()
{
    QStringList texts;
    for (const Entry& e : treeEntries())
        texts << e.text;
    return texts;
}

// The entries named in `names`, in tree order.
QStringList inTreeOrder(const QStringList& names)
{
    QStringList result;
    for (const QString& text : allTexts()) {
        if (names.contains(text))
            result << text;
    }
    return result;
}

QStringList allExcept(const QStringList& names)
{
    QStringList result;
    for (const QString& text : allTexts()) {
        if (!names.contains(text))
            result << text;
    }
    return result;
}

QStringList withFamily(const QString& family, const QStringList& extensions)
{
    return QStringList{family} + extensions;
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
    void init();
    void cleanup();

    void treeIsSetUp();
    void checkedTypesInTreeOrder_data();
    void checkedTypesInTreeOrder();
    void checkedTypesClearsResult();
    void clicks_data();
    void clicks();
    void disableFileType_data();
    void disableFileType();

private:
    void setUp(const QString& saved, const QStringList& disabled = {});
    QTreeWidgetItem* item(const QString& text) const;
    QModelIndex indexOf(QTreeWidgetItem* entry) const;
    QRect subRect(QTreeWidgetItem* entry, QStyle::SubElement element) const;
    void scrollTo(QTreeWidgetItem* entry);
    void clickBox(const QString& text);
    void clickText(const QString& text);
    QStringList ticked() const;
    QStringList disabledEntries() const;

    std::unique_ptr<QMainWindow> host;
    std::unique_ptr<Ui::MainWindow> form;
    std::unique_ptr<PageFileTypes> page;
};

void TestFileTypes::init()
{
    host = std::make_unique<QMainWindow>();
    form = std::make_unique<Ui::MainWindow>();
    form->setupUi(host.get());
    page = std::make_unique<PageFileTypes>();
}

void TestFileTypes::cleanup()
{
    page.reset();
    host.reset();
    form.reset();
}

void TestFileTypes::setUp(const QString& saved, const QStringList& disabled)
{
    page->setupTree(form->treeFileTypes, saved.split(QLatin1Char(',')));
    for (const QString& family : disabled)
        page->disableFileType(family);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
}

QTreeWidgetItem* TestFileTypes::item(const QString& text) const
{
    const QList<QTreeWidgetItem*> found =
        form->treeFileTypes->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.first() : nullptr;
}

QModelIndex TestFileTypes::indexOf(QTreeWidgetItem* entry) const
{
    QTreeWidget* tree = form->treeFileTypes;
    if (!entry->parent())
        return tree->model()->index(tree->indexOfTopLevelItem(entry), 0);
    return tree->model()->index(entry->parent()->indexOfChild(entry), 0, indexOf(entry->parent()));
}

QRect TestFileTypes::subRect(QTreeWidgetItem* entry, QStyle::SubElement element) const
{
    QTreeWidget* tree = form->treeFileTypes;
    QStyleOptionViewItem option;
    option.initFrom(tree);
    option.font = tree->font();
    option.decorationSize = tree->iconSize();
    option.rect = tree->visualItemRect(entry);
    OptionDelegate().initStyleOption(&option, indexOf(entry));
    return tree->style()->subElementRect(element, &option, tree);
}

void TestFileTypes::scrollTo(QTreeWidgetItem* entry)
{
    QTreeWidget* tree = form->treeFileTypes;
    // EnsureVisible leaves a row cut by the bottom edge where it is.
    tree->scrollToItem(entry, QAbstractItemView::PositionAtCenter);
    // The scroll range follows the view's deferred layout.
    QTRY_VERIFY(tree->viewport()->rect().contains(tree->visualItemRect(entry)));
}

void TestFileTypes::clickBox(const QString& text)
{
    QTreeWidgetItem* entry = item(text);
    QVERIFY2(entry, qPrintable(text));
    scrollTo(entry);
    const QRect box = subRect(entry, QStyle::SE_ItemViewItemCheckIndicator);
    QVERIFY(box.isValid());
    QTest::mouseClick(form->treeFileTypes->viewport(), Qt::LeftButton, {}, box.center());
}

void TestFileTypes::clickText(const QString& text)
{
    QTreeWidgetItem* entry = item(text);
    QVERIFY2(entry, qPrintable(text));
    scrollTo(entry);
    const QRect label = subRect(entry, QStyle::SE_ItemViewItemText);
    QVERIFY(label.isValid());
    QTest::mouseClick(form->treeFileTypes->viewport(), Qt::LeftButton, {},
                      QPoint(label.left() + 4, label.center().y()));
}

QStringList TestFileTypes::ticked() const
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(form->treeFileTypes); *it; ++it) {
        if ((*it)->checkState(0) == Qt::Checked)
            texts << (*it)->text(0);
    }
    return texts;
}

QStringList TestFileTypes::disabledEntries() const
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(form->treeFileTypes); *it; ++it) {
        if ((*it)->isDisabled())
            texts << (*it)->text(0);
    }
    return texts;
}

void TestFileTypes::treeIsSetUp()
{
    setUp(DefaultSaved);
    QTreeWidget* tree = form->treeFileTypes;
    QCOMPARE(tree->columnCount(), 1);
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("File Types"));

    QList<Entry> seen;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        QTreeWidgetItem* entry = *it;
        seen << Entry{entry->text(0), entry->parent() ? entry->parent()->text(0) : QString()};
        QVERIFY(entry->flags() & Qt::ItemIsUserCheckable);
        QVERIFY(!(entry->flags() & (Qt::ItemIsAutoTristate | Qt::ItemIsUserTristate)));
        if (entry->childCount() > 0)
            QVERIFY2(entry->isExpanded(), qPrintable(entry->text(0)));
    }
    const QList<Entry> expected = treeEntries();
    QCOMPARE(seen.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(seen[i].text, expected[i].text);
        QCOMPARE(seen[i].parent, expected[i].parent);
    }
}

void TestFileTypes::checkedTypesInTreeOrder_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<bool>("extensionsOnly");
    QTest::addColumn<QStringList>("expected");

    const QStringList defaultExtensions = WordExtensions + ExcelExtensions + PowerPointExtensions
                                          + TextExtensions + QStringList{"pdf"}
                                          + PictureExtensions;
    QTest::addRow("default list, extensions") << DefaultSaved << true << defaultExtensions;
    QTest::addRow("default list, every entry") << DefaultSaved << false << allTexts();
    QTest::addRow("family ticked without extensions gives no extension")
        << "Documents,Microsoft Word,Text" << true << QStringList();
    QTest::addRow("family ticked without extensions, every entry")
        << "Documents,Microsoft Word,Text" << false
        << QStringList{"Documents", Word, "Text"};
    QTest::addRow("pdf entry maps to pdf") << Pdf << true << QStringList{"pdf"};
    QTest::addRow("extensions of an unticked family still count")
        << "png,Documents,txt,docx" << true << QStringList{"docx", "txt", "png"};
    QTest::addRow("nothing ticked") << QString() << true << QStringList();
}

void TestFileTypes::checkedTypesInTreeOrder()
{
    QFETCH(QString, saved);
    QFETCH(bool, extensionsOnly);
    QFETCH(QStringList, expected);

    setUp(saved);
    QStringList result;
    page->checkedTypes(result, extensionsOnly);
    QCOMPARE(result, expected);
}

void TestFileTypes::checkedTypesClearsResult()
{
    setUp(QStringLiteral("gif"));
    QStringList result{"stale", "entries"};
    page->checkedTypes(result, true);
    QCOMPARE(result, QStringList{"gif"});
}

void TestFileTypes::clicks_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("disabled");
    // Entries clicked in order: on the check box, or on the label with a "text:" prefix.
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("expected");

    const QStringList none;
    const QStringList excelEntries = withFamily(Excel, ExcelExtensions);

    QTest::addRow("group untick spreads to everything below")
        << DefaultSaved << none << QStringList{"Documents"}
        << inTreeOrder(QStringList{"Pictures"} + PictureExtensions);
    QTest::addRow("group ticked again ticks everything below")
        << DefaultSaved << none << QStringList{"Documents", "Documents"} << allTexts();
    QTest::addRow("other group keeps its ticks")
        << DefaultSaved << none << QStringList{"Pictures"}
        << allExcept(QStringList{"Pictures"} + PictureExtensions);
    QTest::addRow("extension untick unticks family and group")
        << DefaultSaved << none << QStringList{"docx"}
        << allExcept({"docx", Word, "Documents"});
    QTest::addRow("extension ticked again ticks family and group")
        << DefaultSaved << none << QStringList{"docx", "docx"} << allTexts();
    QTest::addRow("group stays unticked while another family is not complete")
        << DefaultSaved << none << QStringList{"xls", "docx", "docx"}
        << allExcept({"xls", Excel, "Documents"});
    QTest::addRow("family untick spreads down and up")
        << DefaultSaved << none << QStringList{Word}
        << allExcept(withFamily(Word, WordExtensions) + QStringList{"Documents"});
    QTest::addRow("last extension ticked completes family and group")
        << DefaultSaved << none << QStringList{PowerPoint, "ppt", "pptx"} << allTexts();
    QTest::addRow("family stays unticked until every extension is ticked")
        << DefaultSaved << none << QStringList{PowerPoint, "pptx"}
        << allExcept({PowerPoint, "ppt", "Documents"});
    QTest::addRow("pdf entry untick unticks its group only")
        << DefaultSaved << none << QStringList{Pdf} << allExcept({Pdf, "Documents"});
    QTest::addRow("picture extension untick unticks pictures group")
        << DefaultSaved << none << QStringList{"gif"} << allExcept({"gif", "Pictures"});
    QTest::addRow("label click on a consistent tree changes nothing")
        << DefaultSaved << none << QStringList{"text:docx", "text:Documents"} << allTexts();
    QTest::addRow("clicking a disabled family changes nothing")
        << DefaultSaved << QStringList{Excel} << QStringList{Excel} << allExcept(excelEntries);
    QTest::addRow("clicking a disabled extension changes nothing")
        << DefaultSaved << QStringList{Excel} << QStringList{"xlsx", "text:xlsm"}
        << allExcept(excelEntries);
    QTest::addRow("group tick skips a disabled family")
        << DefaultSaved << QStringList{Excel} << QStringList{"Documents", "Documents"}
        << allExcept(excelEntries);
    QTest::addRow("group untick leaves a disabled family alone")
        << DefaultSaved << QStringList{Excel} << QStringList{"Documents"}
        << inTreeOrder(QStringList{"Pictures"} + PictureExtensions);
    QTest::addRow("disabled family keeps its group from being ticked by a child")
        << DefaultSaved << QStringList{Excel} << QStringList{"docx", "docx"}
        << allExcept(excelEntries + QStringList{"Documents"});
    QTest::addRow("saved family without extensions stays ticked")
        << Word << none << none << QStringList{Word};
    QTest::addRow("label click below a saved family brings it into line")
        << Word << none << QStringList{"text:doc"} << QStringList();
    QTest::addRow("ticking one extension below a saved family unticks the family")
        << Word << none << QStringList{"doc"} << QStringList{"doc"};
    QTest::addRow("saved names match in any case")
        << "DOCX,pictures,Jpg,microsoft excel" << none << none
        << inTreeOrder({"docx", "Pictures", "jpg", Excel});
    QTest::addRow("saved name pdf matches no entry") << "pdf" << none << none << QStringList();
    QTest::addRow("every picture extension ticked one by one ticks the group")
        << QString() << none << PictureExtensions
        << inTreeOrder(QStringList{"Pictures"} + PictureExtensions);
    QTest::addRow("every family ticked one by one ticks Documents")
        << QString() << none
        << QStringList{Word, Excel, PowerPoint, "Text", Pdf}
        << allExcept(QStringList{"Pictures"} + PictureExtensions);
}

void TestFileTypes::clicks()
{
    QFETCH(QString, saved);
    QFETCH(QStringList, disabled);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, expected);

    setUp(saved, disabled);
    QStringList disabledBefore = disabledEntries();
    for (const QString& click : clicks) {
        if (click.startsWith(QLatin1String("text:")))
            clickText(click.mid(5));
        else
            clickBox(click);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(ticked(), expected);
    QCOMPARE(disabledEntries(), disabledBefore);
    for (QTreeWidgetItemIterator it(form->treeFileTypes); *it; ++it)
        QVERIFY((*it)->checkState(0) != Qt::PartiallyChecked);
}

void TestFileTypes::disableFileType_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("disabled");

    QTest::addRow("word") << Word << withFamily(Word, WordExtensions);
    QTest::addRow("spreadsheet") << Excel << withFamily(Excel, ExcelExtensions);
    QTest::addRow("presentation") << PowerPoint << withFamily(PowerPoint, PowerPointExtensions);
    QTest::addRow("name of another case matches nothing") << "microsoft word" << QStringList();
    QTest::addRow("extension below a family matches nothing") << "docx" << QStringList();
    QTest::addRow("group name matches nothing") << "Documents" << QStringList();
}

void TestFileTypes::disableFileType()
{
    QFETCH(QString, family);
    QFETCH(QStringList, disabled);

    setUp(DefaultSaved, {family});
    QCOMPARE(disabledEntries(), disabled);
    // The entries go unticked; the group above keeps its tick.
    QCOMPARE(ticked(), allExcept(disabled));
    QStringList extensions;
    page->checkedTypes(extensions, true);
    for (const QString& entry : disabled)
        QVERIFY(!extensions.contains(entry));
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
