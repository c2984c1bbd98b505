#pragma once

#include <QIcon>
#include <QMultiHash>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

class QImage;
class QTreeView;

// Shows each thumbnail row of a results view (a row under a source row, its text the
// thumbnail's path) with its picture as the icon. Pictures are read and scaled off the GUI
// thread, and only for rows that are, or come, into view; a file that cannot be read gets a
// neutral placeholder.
class ThumbnailIcons : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ThumbnailIcons)

public:
    // The box every icon fits in, aspect kept.
    static constexpr QSize Box {96, 48};

    explicit ThumbnailIcons(QObject* parent = nullptr);
    ~ThumbnailIcons() override;

    // Binds the view, whose model must be set and stay.
    void setup(QTreeView* treeView);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleScan();
    void scan();
    void request(const QModelIndex& index);
    void loaded(const QString& path, const QImage& picture);

    QPointer<QTreeView> view;
    QTimer scanTimer;
    QIcon placeholder;
    QMultiHash<QString, QPersistentModelIndex> loading; // by path
    QThreadPool readers; // last: destroyed first, while the rest still stands
};
