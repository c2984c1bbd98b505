// Starts like the app (application object, main window, show) and prints the wall-clock
// time at which the window is first exposed, then quits. With --minimal it shows a bare
// QWidget instead, the baseline a Qt widgets program cannot beat.
#include "MainWindow.h"

#include <QApplication>
#include <QFont>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

class ExposeWatcher : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && !reported) {
            reported = true;
            timespec now;
            clock_gettime(CLOCK_REALTIME, &now);
            std::printf("EXPOSED_NS %lld\n",
                        static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
    bool reported = false;
};

} // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(res);
    const bool minimal = argc > 1 && qstrcmp(argv[1], "--minimal") == 0;
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("Franklin Gothic Medium"), QStringLiteral("Carlito"));

    std::unique_ptr<QWidget> window;
    if (minimal)
        window = std::make_unique<QWidget>();
    else
        window = std::make_unique<MainWindow>();
    ExposeWatcher watcher;
    window->show();
    window->windowHandle()->installEventFilter(&watcher);
    const int code = app.exec();
    window->close();
    return code;
}
