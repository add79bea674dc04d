#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Kelvarin");
    QCoreApplication::setApplicationName("Tarnival");
    tarnival::MainWindow window;
    window.show();
    if (argc > 1) window.openArgument(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
