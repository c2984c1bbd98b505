#include "MainWindow.h"
#include "Names.h"
#include "PageFileTypes.h"
#include "TestSupport.h"

#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

const QStringList All = fileTypeEntries();
const QString WordFamily = All[1];
const QString ExcelFamily = All[6];
const QString PowerPointFamily = All[11];
const QStringList WordEntries = All.mid(1, 5);
const QStringList ExcelEntries = All.mid(6, 5);
const QStringList PictureEntries = All.mid(26); // the group first

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

// A page of our own drives the window's tree, so that saved lists and families can be chosen.
class TestFileTypes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checkedTypes_data();
    void checkedTypes();
    void clicks_data();
    void clicks();

private:
    void setUp(const QString& saved, const QString& disabled = {});
    void click(const QString& name, bool onLabel);
    QStringList entries(bool disabled) const;

    std::unique_ptr<MainWindow> host;
    QTreeWidget* tree = nullptr;
    std::unique_ptr<PageFileTypes> page;
};

void TestFileTypes::initTestCase()
{
    // A box about missing office components would hold up the window.
    QSettings(Names::Maker, Names::Product).setValue("MVSOfficeWarningDontShow", true);
    host = std::make_unique<MainWindow>();
    tree = host->findChild<QTreeWidget*>(QStringLiteral("treeFileTypes"));
    QVERIFY(tree);
    QVERIFY(QObject::disconnect(tree, &QTreeWidget::itemClicked, nullptr, nullptr));
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
}

void TestFileTypes::setUp(const QString& saved, const QString& disabled)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        (*it)->setDisabled(false);
    page = std::make_unique<PageFileTypes>();
    page->setupTree(tree, saved.split(QLatin1Char(',')));
    if (!disabled.isEmpty())
        page->disableFileType(disabled);
}

// A mouse click on the entry's check box, or on its label.
void TestFileTypes::click(const QString& name, bool onLabel)
{
    const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
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
        onLabel ? QStyle::SE_ItemViewItemText : QStyle::SE_ItemViewItemCheckIndicator;
    const QRect rect = tree->style()->subElementRect(element, &option, tree);
    QVERIFY(rect.isValid());
    const QPoint at = onLabel ? QPoint(rect.left() + 4, rect.center().y()) : rect.center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
}

// The ticked entries, or the disabled ones, in tree order.
QStringList TestFileTypes::entries(bool disabled) const
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (disabled ? (*it)->isDisabled() : (*it)->checkState(0) == Qt::Checked)
            texts << (*it)->text(0);
    }
    return texts;
}

void TestFileTypes::checkedTypes_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<bool>("extensionsOnly");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("extensions without their family, in tree order; pdf entry maps to pdf")
        << "png,Documents,Portable Document Format (PDF),txt,docx" << true
        << QStringList{"docx", "txt", "pdf", "png"};
    QTest::addRow("every entry's text") << "Documents,Microsoft Word,Text,png" << false
                                        << QStringList{"Documents", WordFamily, "Text", "png"};
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
    QTest::addColumn<QString>("disabled"); // a family made unavailable
    QTest::addColumn<bool>("onLabel");     // clicks on the labels instead of the boxes
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("ticked");

    const QString D = All.join(QLatin1Char(','));
    const QStringList none;
    QTest::addRow("group untick unticks everything below")
        << D << QString() << false << QStringList{"Documents"} << PictureEntries;
    QTest::addRow("group ticked again ticks everything below")
        << D << QString() << false << QStringList{"Documents", "Documents"} << All;
    QTest::addRow("extension untick unticks family and group")
        << D << QString() << false << QStringList{"docx"} << except({"docx", WordFamily, "Documents"});
    QTest::addRow("group stays unticked while another family is incomplete")
        << D << QString() << false << QStringList{"xls", "docx", "docx"}
        << except({"xls", ExcelFamily, "Documents"});
    QTest::addRow("family untick spreads down and up") << D << QString() << false
        << QStringList{WordFamily} << except(WordEntries + QStringList{"Documents"});
    QTest::addRow("last extension ticked completes family and group")
        << D << QString() << false << QStringList{PowerPointFamily, "ppt", "pptx"} << All;
    QTest::addRow("every picture extension ticked ticks the group")
        << QString() << QString() << false << QStringList(PictureEntries.mid(1))
        << PictureEntries;
    QTest::addRow("label click on a consistent tree changes nothing")
        << D << QString() << true << QStringList{"docx", "Documents"} << All;
    QTest::addRow("label click below a saved family brings it into line")
        << WordFamily << QString() << true << QStringList{"doc"} << none;
    QTest::addRow("disabled family and its extensions cannot be ticked")
        << D << ExcelFamily << false << QStringList{ExcelFamily, "xlsx"} << except(ExcelEntries);
    QTest::addRow("disabled family: label click does nothing")
        << D << ExcelFamily << true << QStringList{"xlsm"} << except(ExcelEntries);
    QTest::addRow("group tick skips a disabled family")
        << D << ExcelFamily << false << QStringList{"Documents", "Documents"} << except(ExcelEntries);
    QTest::addRow("disabled family keeps its group unticked") << D << ExcelFamily << false
        << QStringList{"docx", "docx"} << except(ExcelEntries + QStringList{"Documents"});
    QTest::addRow("only a family can be disabled, not a group or an extension")
        << D << "Documents" << false << none << All;
    QTest::addRow("saved names match in any case")
        << "DOCX,pictures,Jpg,microsoft excel" << QString() << false << none
        << QStringList{"docx", ExcelFamily, "Pictures", "jpg"};
}

void TestFileTypes::clicks()
{
    QFETCH(QString, saved);
    QFETCH(QString, disabled);
    QFETCH(bool, onLabel);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, ticked);

    setUp(saved, disabled);
    const QStringList disabledBefore = entries(true);
    QCOMPARE(disabledBefore, disabled == ExcelFamily ? ExcelEntries : QStringList());
    for (const QString& name : clicks) {
        click(name, onLabel);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(entries(false), ticked);
    QCOMPARE(entries(true), disabledBefore);
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        QVERIFY((*it)->checkState(0) != Qt::PartiallyChecked);
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
