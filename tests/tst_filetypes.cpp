#include "MainWindow.h"
#include "job/Names.h"
#include "PageFileTypes.h"
#include "TestSupport.h"

#include <QStyledItemDelegate>
#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

using L = QStringList;
const L All = fileTypeEntries();
const QString WordFamily = All[1], ExcelFamily = All[6], PowerPointFamily = All[11];
const L ExcelEntries = All.mid(6, 5);

L except(const L& names)
{
    L result = All;
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
    void initTestCase()
    {
        Q_INIT_RESOURCE(res); // the form's icons live in the window's static library
        QStandardPaths::setTestModeEnabled(true);
        // A box about missing office components would hold up the window.
        QSettings(Names::Maker, Names::Product).setValue("MVSOfficeWarningDontShow", true);
        host = std::make_unique<MainWindow>();
        tree = host->findChild<QTreeWidget*>(QStringLiteral("treeFileTypes"));
        QVERIFY(QObject::disconnect(tree, &QTreeWidget::itemClicked, nullptr, nullptr));
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    }

    void clicks_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("disabled"); // a family made unavailable
        QTest::addColumn<bool>("onLabel");     // clicks on the labels instead of the boxes
        QTest::addColumn<L>("clicks");
        QTest::addColumn<L>("ticked");

        const QString D = All.join(QLatin1Char(',')), none;
        QTest::addRow("group untick unticks everything below") << D << none << false << L{"Documents"} << L(All.mid(26));
        QTest::addRow("extension untick unticks family and group") << D << none << false << L{"docx"} << except({"docx", WordFamily, "Documents"});
        QTest::addRow("group stays unticked while another family is incomplete") << D << none << false << L{"xls", "docx", "docx"} << except({"xls", ExcelFamily, "Documents"});
        QTest::addRow("family untick spreads down and up") << D << none << false << L{WordFamily} << except(All.mid(0, 6));
        QTest::addRow("last extension ticked completes family and group") << D << none << false << L{PowerPointFamily, "ppt", "pptx"} << All;
        QTest::addRow("label click on a consistent tree changes nothing") << D << none << true << L{"docx", "Documents"} << All;
        QTest::addRow("label click below a saved family brings it into line") << WordFamily << none << true << L{"doc"} << L();
        QTest::addRow("disabled family and its extensions cannot be ticked") << D << ExcelFamily << false << L{ExcelFamily, "xlsx"} << except(ExcelEntries);
        QTest::addRow("group tick skips a disabled family") << D << ExcelFamily << false << L{"Documents", "Documents"} << except(ExcelEntries);
        QTest::addRow("disabled family keeps its group unticked") << D << ExcelFamily << false << L{"docx", "docx"} << except(ExcelEntries + L{"Documents"});
        QTest::addRow("only a family can be disabled, not a group") << D << "Documents" << false << L() << All;
        QTest::addRow("saved names match in any case") << "DOCX,pictures,Jpg,microsoft excel" << none << false << L() << L{"docx", ExcelFamily, "Pictures", "jpg"};
    }

    void clicks()
    {
        QFETCH(QString, saved);
        QFETCH(QString, disabled);
        QFETCH(bool, onLabel);
        QFETCH(L, clicks);
        QFETCH(L, ticked);

        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            (*it)->setDisabled(false);
        PageFileTypes page;
        page.setupTree(tree, saved.split(QLatin1Char(',')));
        if (!disabled.isEmpty())
            page.disableFileType(disabled);
        for (const QString& name : clicks) {
            auto* entry = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive)[0];
            // EnsureVisible leaves a row cut by the bottom edge where it is.
            tree->scrollToItem(entry, QAbstractItemView::PositionAtCenter);
            QTRY_VERIFY(tree->viewport()->rect().contains(tree->visualItemRect(entry)));
            QStyleOptionViewItem option;
            option.initFrom(tree);
            option.rect = tree->visualItemRect(entry);
            OptionDelegate().initStyleOption(&option, tree->indexAt(option.rect.center()));
            const QRect box =
                tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree);
            // A label click lands on the row beside the box, where it ticks nothing.
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                              onLabel ? QPoint(box.right() + 30, box.center().y()) : box.center());
        }
        QCOMPARE(entries(false), ticked);
        QCOMPARE(entries(true), disabled == ExcelFamily ? ExcelEntries : L());
    }

private:
    // The ticked entries, or the disabled ones, in tree order.
    L entries(bool disabled) const
    {
        L texts;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            if (disabled ? (*it)->isDisabled() : (*it)->checkState(0) == Qt::Checked)
                texts << (*it)->text(0);
        }
        return texts;
    }

    std::unique_ptr<MainWindow> host;
    QTreeWidget* tree = nullptr;
};

QTEST_MAIN(TestFileTypes)
#include "tst_filetypes.moc"
