#pragma once

#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;
class QProcess;
class QUrl;

// Hands files and addresses to the desktop: the opener (xdg-open) for documents, web pages
// and mail, the file manager for a file to be shown in its folder. Never waits: whatever
// could not be opened is reported later through failed().
class DesktopOpener : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DesktopOpener)

public:
    explicit DesktopOpener(QObject* parent = nullptr);
    // Leaves running what the opener started: the user's viewer or browser stays.
    ~DesktopOpener() override;

    // Opens `url` with the program the desktop chose for it.
    void open(const QUrl& url);
    // Shows the file selected in the file manager, else opens its folder. A path that does
    // not exist does nothing.
    void showFile(const QString& path);

signals:
    // `target` as the user knows it; `reason` in a few words.
    void failed(const QString& target, const QString& reason);

private:
    void onOpenerFinished(QProcess* process, const QUrl& url);
    void onShowItemsAnswered(QDBusPendingCallWatcher* call, const QString& folder);
};
