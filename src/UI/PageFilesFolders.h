#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTreeView>

#include <memory>

class QFileSystemModel;

// Drives the file-system view: one filtered model at a time and the selected paths.
class PageFilesFolders : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PageFilesFolders)

public:
    explicit PageFilesFolders(QObject* parent = nullptr);
    ~PageFilesFolders() override;

    void setupView(QTreeView* treeView);
    // Shows folders and the files matching `filters` (wildcards such as "*.pdf").
    void setNameFilters(const QStringList& filters);
    // Selects these existing files and folders in the next filtered model as well, so the
    // selection survives the first move forward from the file-type page.
    void preselectPaths(const QStringList& paths);
    // Selected cells' paths with native separators, in selection order, duplicates kept.
    QStringList selectedPaths() const;

private:
    void installModel(const QStringList& filters);
    void selectPreselected();

    QPointer<QTreeView> view; // the window may delete it first
    std::unique_ptr<QFileSystemModel> model;
    QStringList preselected; // absolute paths
};
