#pragma once

#include <QObject>
#include <QStringList>

class QTreeWidget;
class QTreeWidgetItem;

// Drives the file-type tree: ticks spread down to descendants and up to ancestors.
class PageFileTypes : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PageFileTypes)

public:
    explicit PageFileTypes(QObject* parent = nullptr);

    // Binds the tree and ticks the entries named in `saved` (any case).
    void setupTree(QTreeWidget* tree, const QStringList& saved);
    // The ticked entries in tree order: extensions (and "pdf") only, or every entry's text.
    void checkedTypes(QStringList& result, bool extensionsOnly) const;
    // Unticks and disables a family and its extensions.
    void disableFileType(const QString& family);

public slots:
    void onItemClicked(QTreeWidgetItem* item, int column);

private:
    QTreeWidget* tree = nullptr;
};
