// Start-up of the desktop program: application title, main window, a program named on the
// command line, event loop.
#include <QApplication>
#include <QTimer>

#include "Unit1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvamat"));
    TForm1 form;
    form.showMaximized();
    // corvamat PROGRAM opens PROGRAM as File > Open would, once the window is up.
    QTimer::singleShot(0, &form, [&form] { form.OpenFromArguments(QApplication::arguments()); });
    return app.exec();
}
