// Start-up of the desktop program: application title, main window, event loop.
#include <QApplication>

#include "Unit1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvamat"));
    TForm1 form;
    form.showMaximized();
    return app.exec();
}
