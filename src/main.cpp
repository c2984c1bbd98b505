#include "MainWindow.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QFont>

int main(int argc, char* argv[])
{
    // The window's images live in a static library.
    Q_INIT_RESOURCE(res);

    QApplication app(argc, argv);
    // The selected wizard tab asks for a face Linux lacks; Carlito has matching metrics.
    QFont::insertSubstitution(QStringLiteral("Franklin Gothic Medium"), QStringLiteral("Carlito"));
    MainWindow window;
    // Asked to end from outside: close as the user would, then leave even from the tray.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window, [&window] {
        window.close();
        QCoreApplication::quit();
    });
    window.show();
    return app.exec();
}
