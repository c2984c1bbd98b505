#include "BatchMessages.h"
#include "BatchOptions.h"
#include "BatchRunner.h"
#include "BuildSettings.h"
#include "FileNameCodec.h"
#include "MainWindow.h"
#include "TerminationSignals.h"
#include "job/Names.h"

#include <QApplication>
#include <QFont>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void print(FILE* stream, const QString& lines)
{
    std::fputs(lines.toLocal8Bit().constData(), stream);
}

int runBatch(int argc, char* argv[])
{
    BatchMessages::hold();
    // No window is ever shown, so no display is needed; text still needs fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    BatchOptions options;
    if (!options.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "miravel: %s\n", qPrintable(options.error));
        return 2;
    }
    BatchMessages::release(options.verbose);
    BatchRunner runner(options);
    return runner.run();
}

// --help or --version among the window's arguments (before a "--"): answered without a display.
bool answeredBeforeWindow(int argc, char* argv[])
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            print(stdout,
                  QCoreApplication::translate(
                      "main",
                      "Usage: miravel [PATH...]\n"
                      "       miravel --batch [options] PATH...\n\n"
                      "Opens the Miravel window, with the files and folders given already "
                      "selected.\n"
                      "With --batch, makes the thumbnails without a window and without a "
                      "display; miravel --batch --help lists its options.\n\n"
                      "  -h, --help     Show this help and exit.\n"
                      "  --version      Show the version and exit.\n"));
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            print(stdout, Names::Product + QStringLiteral(" " MIRAVEL_VERSION "\n"));
            return true;
        }
    }
    return false;
}

// Qt ends the program when the window has no display to go to; that is told in one line,
// instead of the platform plug-in's lines and an abort.
void refuseWithoutDisplay(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type != QtFatalMsg)
        return;
    print(stderr,
          QCoreApplication::translate(
              "main",
              "miravel: no display to show the window on; miravel --batch makes "
              "thumbnails without one\n"));
    std::_Exit(2);
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything reads a file name or an argument: any name is then taken as it is.
    FileNameCodec::installForLocale();
    if (BatchOptions::isRequested(argc, argv))
        return runBatch(argc, argv);
    if (answeredBeforeWindow(argc, argv))
        return 0;

    // The window's images live in a static library.
    Q_INIT_RESOURCE(res);

    // Until the application object stands, only a missing display is told.
    qInstallMessageHandler(refuseWithoutDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
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
