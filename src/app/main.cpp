// Start-up of the desktop program: application title, main window, a program named on the
// command line, event loop.
#include <QApplication>
#include <QScreen>
#include <QTimer>

#include "Unit1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvamat"));
    TForm1 form;
    // The whole screen also where no window manager maximizes windows (a bare X server), so that
    // a board's windows are laid out for the size the window keeps.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) form.setGeometry(screen->availableGeometry());
    form.showMaximized();
    // corvamat PROGRAM opens PROGRAM as File > Open would, once the window is up.
    QTimer::singleShot(0, &form, [&form] { form.OpenFromArguments(QApplication::arguments()); });
    return app.exec();
}
