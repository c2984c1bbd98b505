#include "PageFilesFolders.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
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
    revealAgain.setSingleShot(true);
    connect(&revealAgain, &QTimer::timeout, this, &PageFilesFolders::reveal);
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
    connect(view->verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { revealed.clear(); });
    installModel({});
}

bool PageFilesFolders::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)
        revealed.clear();
    return QObject::eventFilter(watched, event);
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

    // Nothing is selected by this: the tree still starts at the top.
    revealed = QDir::homePath();
    expandTo(revealed);
    if (!preselected.isEmpty()) {
        revealed = preselected.first();
        expandTo(revealed);
    }
    // Folders listed later are sorted in, which moves the rows below them.
    connect(model.get(), &QAbstractItemModel::layoutChanged, &revealAgain,
            qOverload<>(&QTimer::start));
    reveal();
}

void PageFilesFolders::expandTo(const QString& path)
{
    for (QModelIndex index = model->index(path); index.isValid(); index = index.parent())
        view->expand(index);
}

void PageFilesFolders::reveal()
{
    view->scrollTo(model->index(revealed), QAbstractItemView::PositionAtTop);
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
