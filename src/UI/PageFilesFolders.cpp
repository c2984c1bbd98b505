#include "PageFilesFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>

PageFilesFolders::PageFilesFolders(QObject* parent)
    : QObject(parent)
{
}

PageFilesFolders::~PageFilesFolders()
{
    if (view)
        view->setModel(nullptr);
}

void PageFilesFolders::setupView(QTreeView* treeView)
{
    view = treeView;
    view->setAnimated(false);
    installModel({});
}

void PageFilesFolders::setNameFilters(const QStringList& filters)
{
    installModel(filters);
    preselected.clear();
}

void PageFilesFolders::preselectPaths(const QStringList& paths)
{
    preselected.clear();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.exists())
            preselected << info.absoluteFilePath();
    }
    if (view)
        selectPreselected();
}

void PageFilesFolders::selectPreselected()
{
    // A file the filters hide has no index and stays unselected.
    for (const QString& path : qAsConst(preselected)) {
        const QModelIndex index = model->index(path);
        if (index.isValid()) {
            view->selectionModel()->select(index, QItemSelectionModel::Select);
            view->scrollTo(index);
        }
    }
}

void PageFilesFolders::installModel(const QStringList& filters)
{
    auto fresh = std::make_unique<QFileSystemModel>();
    fresh->setRootPath(QDir::rootPath());
    fresh->setNameFilterDisables(false);
    fresh->setNameFilters(filters);

    // The view makes a new selection model for every model and leaves the old one to us.
    QItemSelectionModel* oldSelection = view->selectionModel();
    view->setModel(fresh.get());
    delete oldSelection;
    model = std::move(fresh);
    selectPreselected();
    view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view->header()->setStretchLastSection(true);
}

QStringList PageFilesFolders::selectedPaths() const
{
    QStringList paths;
    if (!view || !view->selectionModel())
        return paths;
    const QModelIndexList indexes = view->selectionModel()->selectedIndexes();
    for (const QModelIndex& index : indexes)
        paths << QDir::toNativeSeparators(model->filePath(index));
    return paths;
}
