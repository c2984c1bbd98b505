#include "MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // The window's images live in a static library.
    Q_INIT_RESOURCE(res);

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
