// Simulation speed of the desktop program with every window open, for "Update screen every" 1,
// 100 and 0 (off): runs a program for a fixed time on the offscreen platform and prints machine
// cycles per second, the longest time to answer a click during the run, the memory in use, and
// the same program's speed with no window and no refresh for comparison. Then the two board demos
// with their boards loaded and every course device open, at "Update screen every" 1 and 12 MHz,
// as multiples of real time.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "Code.h"
#include "PortUnit.h"
#include "ProgramFiles.h"
#include "Settings.h"
#include "Unit1.h"

namespace {

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

}  // namespace

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
        // A click on a port pin every 100 ms: the time from the click until its handler has run.
        qint64 worstClick = 0, nextClick = 50;
        int clicks = 0;
        while (timer.elapsed() < seconds * 1000) {
            if (timer.elapsed() >= nextClick && PortForm) {
                nextClick += 100;
                const qint64 posted = timer.elapsed();
                QCheckBox* box = PortForm->Boxes[31];
                QMetaObject::invokeMethod(box, [&, box, posted] {
                    box->click();
                    worstClick = std::max(worstClick, timer.elapsed() - posted);
                    ++clicks;
                }, Qt::QueuedConnection);
            }
            app.processEvents(QEventLoop::AllEvents, 10);
        }
        form.Stop->trigger();  // takes effect even right after Run
        form.FinishWorker();
        app.processEvents();
        const TRunThread& run = *form.ActiveRunThread;
        std::printf("Update screen every %3d: %12.0f machine cycles per second (%llu instructions), "
                    "click answered within %lld ms (%d clicks), %.1f MB resident\n",
                    n, run.RealSeconds > 0 ? double(run.CycleCount) / run.RealSeconds : 0.0,
                    (unsigned long long)run.Instructions,
                    (long long)worstClick, clicks, ResidentMegabytes());
    }
    form.WinCloseExecute();
    app.processEvents();
    // The same program with no window open and no refresh, on a thread of its own.
    {
        RunSettings rs;
        rs.ScrUpdate = 0;
        SingleStepMode = 0;
        ProgramCounter = 0;
        TRunThread run(nullptr, rs);
        run.Start();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        run.Terminate();
        run.WaitFor();
        std::printf("No window, no refresh:   %12.0f machine cycles per second\n",
                    double(run.CycleCount) / run.RealSeconds);
    }
    // The board demos: every course device open, the screen updated after every instruction.
    for (const char* name : {"digits", "lcd"}) {
        form.WinCloseExecute();
        app.processEvents();
        const QString base = QStringLiteral(CORVAMAT_BOARDS "/") + QString::fromLatin1(name);
        if (!form.LoadBoardFromFile(base + QStringLiteral(".board")) ||
            !form.LoadProgramFromFile(base + QStringLiteral(".hex")))
            return 2;
        for (QAction* a : {form.ShowLCD, form.ShowKeypad4x4, form.ShowLEDBar, form.ShowLED, form.ShowKeys,
                           form.ShowPorts, form.ShowSFR8051})
            a->trigger();
        Settings.ScrUpdate = 1;
        Settings.Frequency = 12000000;
        ResetController();
        form.RunProg->trigger();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < seconds * 1000) app.processEvents(QEventLoop::AllEvents, 10);
        form.Stop->trigger();
        form.FinishWorker();
        app.processEvents();
        const TRunThread& run = *form.ActiveRunThread;
        const double rate = run.RealSeconds > 0 ? double(run.CycleCount) / run.RealSeconds : 0.0;
        std::printf("Board %-6s, every device open, update every 1: %12.0f machine cycles per second, "
                    "%.1f times real time at 12 MHz\n",
                    name, rate, rate / 1e6);
    }
    form.close();
    return 0;
}
