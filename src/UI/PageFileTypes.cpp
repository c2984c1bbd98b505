#include "PageFileTypes.h"

#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

// What an entry contributes when only extensions are wanted; empty for groups and families.
QString extensionOf(const QString& text)
{
    static const QStringList containers = {QStringLiteral("Documents"),
                                           QStringLiteral("Microsoft Word"),
                                           QStringLiteral("Microsoft Excel"),
                                           QStringLiteral("Microsoft PowerPoint"),
                                           QStringLiteral("Text"),
                                           QStringLiteral("Pictures")};
    if (text == QLatin1String("Portable Document Format (PDF)"))
        return QStringLiteral("pdf");
    return containers.contains(text) ? QString() : text;
}

bool isChecked(const QTreeWidgetItem* item)
{
    return item->checkState(0) == Qt::Checked;
}

void setTree(QTreeWidgetItem* item, Qt::CheckState state)
{
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (child->isDisabled())
            continue;
        child->setCheckState(0, state);
        setTree(child, state);
    }
}

} // namespace

PageFileTypes::PageFileTypes(QObject* parent)
    : QObject(parent)
{
}

void PageFileTypes::setupTree(QTreeWidget* treeWidget, const QStringList& saved)
{
    tree = treeWidget;
    connect(tree, &QTreeWidget::itemClicked, this, &PageFileTypes::onItemClicked);
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        QTreeWidgetItem* item = *it;
        // Two states only: no partial state, nothing derived automatically.
        item->setFlags((item->flags() | Qt::ItemIsUserCheckable)
                       & ~(Qt::ItemIsAutoTristate | Qt::ItemIsUserTristate));
        item->setCheckState(
            0, saved.contains(item->text(0), Qt::CaseInsensitive) ? Qt::Checked : Qt::Unchecked);
    }
    tree->expandAll();
}

void PageFileTypes::onItemClicked(QTreeWidgetItem* item, int)
{
    if (!item || item->isDisabled())
        return;
    for (QTreeWidgetItem* ancestor = item->parent(); ancestor; ancestor = ancestor->parent()) {
        bool all = true;
        for (int i = 0; i < ancestor->childCount() && all; ++i)
            all = isChecked(ancestor->child(i));
        ancestor->setCheckState(0, all ? Qt::Checked : Qt::Unchecked);
    }
    setTree(item, item->checkState(0));
}

void PageFileTypes::checkedTypes(QStringList& result, bool extensionsOnly) const
{
    result.clear();
    if (!tree)
        return;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (!isChecked(*it))
            continue;
        const QString text = extensionsOnly ? extensionOf((*it)->text(0)) : (*it)->text(0);
        if (!text.isEmpty())
            result << text;
    }
}

void PageFileTypes::disableFileType(const QString& family)
{
    if (!tree)
        return;
    for (int top = 0; top < tree->topLevelItemCount(); ++top) {
        QTreeWidgetItem* group = tree->topLevelItem(top);
        for (int i = 0; i < group->childCount(); ++i) {
            QTreeWidgetItem* entry = group->child(i);
            if (entry->text(0) != family)
                continue;
            entry->setCheckState(0, Qt::Unchecked);
            entry->setDisabled(true);
            for (int c = 0; c < entry->childCount(); ++c) {
                entry->child(c)->setCheckState(0, Qt::Unchecked);
                entry->child(c)->setDisabled(true);
            }
        }
    }
}
