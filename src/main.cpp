#include "MainWindow.h"

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
    window.show();
    return app.exec();
}
