#include "ThumbnailIcons.h"

#include <QEvent>
#include <QImageReader>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace {

QImage readScaled(const QString& path)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(size.scaled(ThumbnailIcons::Box, Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace

ThumbnailIcons::ThumbnailIcons(QObject* parent)
    : QObject(parent)
{
    scanTimer.setSingleShot(true);
    scanTimer.setInterval(0);
    connect(&scanTimer, &QTimer::timeout, this, &ThumbnailIcons::scan);
    // Two cores: one reader leaves the other to the engine.
    readers.setMaxThreadCount(1);
}

ThumbnailIcons::~ThumbnailIcons()
{
    readers.clear();
    readers.waitForDone();
}

void ThumbnailIcons::setup(QTreeView* treeView)
{
    view = treeView;
    view->setIconSize(Box);
    // Every row as high as an icon: no row moves when its picture arrives, and the view
    // lays out a long list without measuring each row.
    view->setUniformRowHeights(true);
    placeholder = view->style()->standardIcon(QStyle::SP_FileIcon);
    const QAbstractItemModel* model = view->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &ThumbnailIcons::scheduleScan);
    connect(model, &QAbstractItemModel::layoutChanged, this, &ThumbnailIcons::scheduleScan);
    connect(view, &QTreeView::expanded, this, &ThumbnailIcons::scheduleScan);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &ThumbnailIcons::scheduleScan);
    view->viewport()->installEventFilter(this);
}

bool ThumbnailIcons::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        scheduleScan();
    return QObject::eventFilter(watched, event);
}

void ThumbnailIcons::scheduleScan()
{
    scanTimer.start();
}

void ThumbnailIcons::scan()
{
    const int bottom = view->viewport()->height();
    for (QModelIndex index = view->indexAt(QPoint(0, 0));
         index.isValid() && view->visualRect(index).top() < bottom;
         index = view->indexBelow(index)) {
        if (index.parent().isValid() && index.data(Qt::DecorationRole).isNull())
            request(index);
    }
}

void ThumbnailIcons::request(const QModelIndex& index)
{
    const QString path = index.data().toString();
    const auto pending = loading.equal_range(path);
    if (std::find(pending.first, pending.second, index) != pending.second)
        return;
    loading.insert(path, index);
    readers.start([this, path] {
        const QImage picture = readScaled(path);
        QMetaObject::invokeMethod(
            this, [this, path, picture] { loaded(path, picture); }, Qt::QueuedConnection);
    });
}

void ThumbnailIcons::loaded(const QString& path, const QImage& picture)
{
    const QIcon icon = picture.isNull() ? placeholder : QIcon(QPixmap::fromImage(picture));
    // Rows gone meanwhile left invalid indexes behind.
    for (const QPersistentModelIndex& index : loading.values(path)) {
        if (index.isValid())
            view->model()->setData(index, icon, Qt::DecorationRole);
    }
    loading.remove(path);
}
