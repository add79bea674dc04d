#include "app/CommandBindings.h"
#include "app/MainWindow.h"
#include "app/QtUserInterface.h"
#include "dialogs/Dialogs.h"
#include "views/Icons.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Kelvarin");
    QCoreApplication::setApplicationName("Tarnival");
    // Lets the desktop match the windows to tarnival.desktop and its icon.
    QGuiApplication::setDesktopFileName("tarnival");
    QApplication::setWindowIcon(tarnival::applicationIcon());
    tarnival::MainWindow window;
    window.show();
    if (tarnival::tipsAtStartUp(window.profile()))
        tarnival::showTipOfTheDay(&window, window.profile(), window.userInterface(),
                                  tarnival::tipsFile());
    if (argc > 1) window.openArgument(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
