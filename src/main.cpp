#include "BatchOptions.h"
#include "BatchRunner.h"
#include "MainWindow.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QFont>

#include <cstdio>

namespace {

int runBatch(int argc, char* argv[])
{
    // No window is ever shown, so no display is needed; text still needs fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    BatchOptions options;
    if (!options.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "miravel: %s\n", qPrintable(options.error));
        return 2;
    }
    BatchRunner runner(options);
    return runner.run();
}

} // namespace

int main(int argc, char* argv[])
{
    if (BatchOptions::isRequested(argc, argv))
        return runBatch(argc, argv);

    // The window's images live in a static library.
    Q_INIT_RESOURCE(res);

    QApplication app(argc, argv);
    // The selected wizard tab asks for a face Linux lacks; Carlito has matching metrics.
    QFont::insertSubstitution(QStringLiteral("Franklin Gothic Medium"), QStringLiteral("Carlito"));
    MainWindow window;
    // Files and folders given, as a file manager's "Open With" does: selected on page 1.
    window.preselectPaths(QCoreApplication::arguments().mid(1));
    // Asked to end from outside: close as the user would, then leave even from the tray.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window, [&window] {
        window.close();
        QCoreApplication::quit();
    });
    window.show();
    return app.exec();
}
