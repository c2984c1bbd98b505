#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QTreeView>

#include <memory>

class QFileSystemModel;

// Drives the file-system view: one filtered model at a time and the selected paths. Each
// model opens with the home folder, or the first path given at start, expanded and in view.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installModel(const QStringList& filters);
    void selectPreselected();
    // Expands `path` and the folders above it.
    void expandTo(const QString& path);
    // Scrolls the revealed folder to the top; again whenever the model sorts in what it
    // listed, until the user takes over.
    void reveal();

    QPointer<QTreeView> view; // the window may delete it first
    std::unique_ptr<QFileSystemModel> model;
    QStringList preselected; // absolute paths
    QString revealed; // empty once the user has scrolled, clicked or typed
    QTimer revealAgain;
};
