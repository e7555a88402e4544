// Simulation speed of the desktop program with every window open, for "Update screen every" 1,
// 100 and 0 (off): runs a program for a fixed time on the offscreen platform and prints machine
// cycles per second.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "Code.h"
#include "ProgramFiles.h"
#include "Settings.h"
#include "Unit1.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(CORVAMAT_EXAMPLE);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
    QTemporaryDir dir;
    TForm1 form(dir.filePath(QStringLiteral("corvamat.ini")));
    form.show();
    if (!form.LoadProgramFromFile(program)) return 2;
    for (QAction* a : {form.ShowSFR8051, form.ShowIntRAM, form.ShowExtRAM, form.ShowPorts,
                       form.ShowSerial, form.ShowLED, form.ShowKeys})
        a->trigger();
    for (int n : {1, 100, 0}) {
        Settings.ScrUpdate = uint8_t(n);
        ProgramCounter = 0;
        form.RunProg->trigger();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < seconds * 1000) app.processEvents(QEventLoop::AllEvents, 10);
        form.Stop->trigger();
        form.FinishWorker();
        const TRunThread& run = *form.ActiveRunThread;
        std::printf("Update screen every %3d: %12.0f machine cycles per second (%llu instructions)\n", n,
                    double(run.CycleCount) / run.RealSeconds, (unsigned long long)run.Instructions);
    }
    form.close();
    return 0;
}
