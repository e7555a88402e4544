// The simulation thread: a small thread layer (TThread with Synchronize) and TRunThread, which
// runs the loaded program or steps one instruction and reports to the user-interface side.
//
// Synchronize hands a routine from the worker to the user-interface thread and waits for it. The
// user-interface side installs a waker (SetSynchronizeWaker) that makes its event loop call
// ServePendingSynchronize soon; without a waker (the headless runner, unit tests) routines run at
// once on the calling thread. The user-interface thread must never block on the worker without
// serving pending routines: TThread::WaitFor does exactly that and is the one way to wait.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "Code.h"
#include "Debugger.h"
#include "History.h"
#include "Inputs.h"
#include "Observers.h"
#include "Recorder.h"
#include "Signals.h"

// ---- Thread layer ----------------------------------------------------------------------------

// Invariants of Synchronize, ServePendingSynchronize and TThread::WaitFor:
// - Two threads: the user-interface thread (the one that installed the waker) and at most one
//   worker. Routines handed over by Synchronize run on the user-interface thread, one at a time,
//   in the order they were handed over; without a waker they run at once on the calling thread.
// - The worker may wait for the user-interface thread (Synchronize), never the other way round,
//   except through WaitFor, which serves the worker's routines while it waits, so neither can
//   wait for the other forever. A routine run by Synchronize never waits for the worker.
// - Only the end of a run or step waits this way (the status bar, the program counter, the
//   listing row, the commands); window repaints never make the worker wait.
// - At most one wake-up is posted to the event loop at a time, however many routines are handed
//   over while the user-interface thread is busy or waiting in WaitFor.

// Installs the function that wakes the user-interface thread to serve pending routines, and makes
// the calling thread the user-interface thread. nullptr removes it (routines then run inline).
void SetSynchronizeWaker(void (*waker)());
// Runs every routine the worker has handed over; called on the user-interface thread.
void ServePendingSynchronize();
// Runs `fn` on the user-interface thread and returns when it has finished. Worker or
// user-interface thread; on the latter it runs `fn` at once.
void Synchronize(const std::function<void()>& fn);

class TThread {
public:
    TThread() = default;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // Waits for the thread (serving pending routines) before it goes.
    virtual ~TThread();

    // Starts Execute on a new thread.
    void Start();
    // Sets the stop request; does not wait.
    void Terminate() { terminated_.store(true, std::memory_order_relaxed); }
    bool Terminated() const { return terminated_.load(std::memory_order_relaxed); }
    // True once Execute has returned.
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits for the end of the thread while serving its Synchronize calls; on the user-interface
    // thread the one way to wait for a worker.
    void WaitFor();

protected:
    virtual void Execute() = 0;
    // The stop request as a flag that long work can look at.
    const std::atomic<bool>* StopFlag() const { return &terminated_; }

private:
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
};

// ---- The run thread --------------------------------------------------------------------------

// The window and command updates of a run, carried out on the user-interface thread. The main
// window implements it.
class RunThreadView {
public:
    virtual ~RunThreadView() = default;
    // running: the run-like commands and those that change the machine disabled, Stop enabled;
    // otherwise the reverse (the main window's UpdateCommandStates says which).
    // The window side sets the running state itself before it starts the thread; the thread calls
    // this once with false, as the very last thing of every run and step (Execute).
    virtual void SetRunCommands(bool running) = 0;
    // Status bar panels 1 and 2 ("Simulation: ... sec", "Controller: ... sec").
    virtual void SetRunTimes(const std::string& simulation, const std::string& controller) = 0;
    // The register view's program-counter cell (RegisterViewIdle is 0 during the call).
    virtual void ShowProgramCounter(uint16_t pc) = 0;
    // Selects row ListingRowMap[pc] of the disassembly view, when it is open.
    virtual void SelectListingRow(uint16_t pc) = 0;
    // Last of every run and step: the debugger's lists and counters may be refreshed.
    virtual void RunEnded() {}
};

// The settings a run reads.
struct RunSettings {
    int32_t Frequency = 11059200;
    uint8_t ScrUpdate = 1;
    bool AutoRestart = false;
    // Pace the run to Frequency / 12 machine cycles per host second.
    bool RealTime = false;
};

// Reached: a one-shot stop (step over, step out, run to cursor); Watch: a data breakpoint;
// MaxInstructions: the runner's instruction limit.
enum class StopReason { End, Breakpoint, Stopped, Idle, MaxCycles, Reached, Watch, MaxInstructions };

// 0 = run mode, 1 = one instruction; read when a thread starts.
extern Shared<uint8_t> SingleStepMode;

// "Continue simulation at position 0 after reaching the end of file", and the program counter
// that the end of a run puts back to 0: a Set PC input, so that history replays it. The thread that
// owns the machine.
void RestartProgramAtZero();

// A history command (History.h) that a run thread carries out instead of a run: it moves the
// machine on the simulation thread, and its end is a run's end (the program counter, the listing
// row, every window repainted, the commands offered again).
using HistoryJob = std::function<HistoryHit(const std::atomic<bool>* cancel)>;

// The machine cycles of the run in progress, published by the run loop with each screen refresh
// ("Update screen every" N instructions; never with the updates off), for the stopwatch and the
// controller time that the windows show while the program runs. Zero when a run starts.
extern Shared<uint64_t> RunCyclesSoFar;

// "%.6g": six significant digits without trailing zeros; fixed notation unless the value is
// below 0.00001 or has more than six integer digits, else mantissa, "E", exponent (1.5E-6).
std::string FormatSeconds(double seconds);
std::string SimulationTimeText(double seconds);    // "Simulation: " ... " sec"
std::string ControllerTimeText(uint64_t cycles, int32_t frequency);  // "Controller: " ... " sec"

// The run loop's additions for the headless runner, as a template parameter so that they cost
// nothing when absent. An Extras type has
//   bool BeforeStep(uint64_t cycles, StopReason* reason);   // before each instruction, after the
//                                                           // end/breakpoint/stop tests; cycles
//                                                           // of the run so far
//   bool AfterStep(uint16_t pc, const StepResult& step, StopReason* reason);  // after each step
//                                                           // that started at pc, with what the
//                                                           // step reported
// Returning true stops the run with *reason.
struct NoRunExtras {
    bool BeforeStep(uint64_t, StopReason*) { return false; }
    bool AfterStep(uint16_t, const StepResult&, StopReason*) { return false; }
};

class TRunThread : public TThread {
public:
    // Does not start the thread; Start() does (or call RunSimulation directly, as the headless
    // runner does, on the calling thread).
    TRunThread(RunThreadView* view, const RunSettings& settings);
    ~TRunThread() override;

    void RunSimulation() {
        NoRunExtras none;
        RunSimulation(none);
    }
    template <class Extras>
    void RunSimulation(Extras& extras) {
        if (SingleStepMode) {
            StepMode();
            return;
        }
        BeginRun();
        // In the past the run first replays the recorded future, with the same stops; it goes on
        // live from the present.
        if (HistoryInPast() && ReplayedToAStop()) {
            EndRun();
            return;
        }
        const uint64_t replayedCycles = CycleCount, replayed = Instructions;
        {
            // The Logic Analyzer's signals hang on the core's observers for this run (Signals.h).
            const SignalArming recording(LogicSignals);
            Reason = ObservedLoops(extras);
        }
        CycleCount += replayedCycles;
        Instructions += replayed;
        EndRun();
    }
    // Makes this thread carry out `job` instead of a run or step.
    void SetJob(HistoryJob job) { job_ = std::move(job); }

    uint64_t CycleCount = 0;
    uint64_t Instructions = 0;
    double RealSeconds = 0;
    StopReason Reason = StopReason::End;
    // What the job found (HistoryHit::Kind::None without a job).
    HistoryHit JobResult;

protected:
    void Execute() override;

private:
    void BeginRun();
    void EndRun();
    void StepMode();
    void RunJob();
    // The run's part in the recorded future: true when it stopped there (Reason is set).
    bool ReplayedToAStop();
    void CommonEnd();
    void ShowPc();
    void ShowPcAndRow();
    void ReportTimes();
    // What the run loop does after every step besides the machine's own work: nothing; the
    // execution recorder alone or the Logic Analyzer's signals alone, called inline (coverage and
    // signal recording at full speed); or anything (debugger conditions, store observers, several
    // step observers), through the observer lists. Each has loops of its own, so that the others
    // stay as they are.
    enum class Observed { Nothing, Recorder, Signals, Anything };
    template <class Extras>
    StopReason ObservedLoops(Extras& extras) {
        if (!DebugStopsArmed && !StoreObserversInstalled()) {
            if (!StepObserversInstalled()) return Loops<Observed::Nothing>(extras);
            // The real-time pace has no use for the inline forms.
            const StepObserver* only = settings_.RealTime ? nullptr : OnlyStepObserver();
            if (only == &Recorder) return Loops<Observed::Recorder>(extras);
            if (only == &LogicProbe) return Loops<Observed::Signals>(extras);
        }
        return Loops<Observed::Anything>(extras);
    }
    template <Observed O, class Extras>
    StopReason Loops(Extras& extras) {
        if constexpr (O == Observed::Nothing || O == Observed::Anything) {
            if (settings_.RealTime)
                return settings_.ScrUpdate ? Loop<true, true, O>(extras) : Loop<false, true, O>(extras);
        }
        return settings_.ScrUpdate ? Loop<true, false, O>(extras) : Loop<false, false, O>(extras);
    }
    template <bool Refreshes, bool Paced, Observed O, class Extras>
    StopReason Loop(Extras& extras);
    // The real-time pace: waits until the host time since the start of the run reaches the
    // controller time of `cycles`, then sets the cycle count of the next look.
    void Pace(uint64_t cycles);
    uint64_t nextPace_ = 0;

    RunThreadView* view_;
    RunSettings settings_;
    HistoryJob job_;
    std::chrono::steady_clock::time_point start_, stop_;
};

// The run loop: tests before every instruction, the refresh countdown, the step, the cycle total
// the step reports. It is compiled with and without the countdown ("Update screen every" N >= 1
// or 0), with and without the real-time pace, and for what follows each step (Observed), each with
// the unwatched step inlined: the watched step and every rare path stay calls.
template <bool Refreshes, bool Paced, TRunThread::Observed O, class Extras>
[[gnu::flatten]] StopReason TRunThread::Loop(Extras& extras) {
    constexpr bool Armed = O == Observed::Anything;
    const uint8_t n = settings_.ScrUpdate;
    const bool autoRestart = settings_.AutoRestart;
    const bool stops = Armed && DebugStopsArmed;
    const bool watching = Armed && StoreObserversInstalled();
    const bool observed = Armed && StepObserversInstalled();
    // One step observer is called directly rather than through the observer list, and the
    // execution recorder alone inline.
    StepObserver* const only = observed ? OnlyStepObserver() : nullptr;
    const bool recorderOnly = only == &Recorder;
    uint16_t lastExecuted = 0;
    // The run's cycles are the machine's total less its value at the start: the step adds them.
    const uint64_t start = Machine.cycles;
    uint64_t count = 0;
    uint8_t countdown = ScreenUpdateCountdown;
    // Refreshes switched off: the countdown rests at 255 for the whole run.
    if (!Refreshes) ScreenUpdateCountdown = countdown = 255;
    RunCyclesSoFar = 0;
    // The breakpoint value that stops the run: none (no byte is 100h) before the first
    // instruction, so that a run can start at a breakpoint.
    uint16_t breakValue = 0x100;
    StopReason reason;
    for (;;) {
        const uint16_t pc = ProgramCounter;
        if (int32_t(pc) > ProgramEnd) {
            reason = StopReason::End;
            break;
        }
        if (BreakpointTable[pc] == breakValue) {
            reason = StopReason::Breakpoint;
            break;
        }
        if (stops && count > 0) {
            const DebugStop stop = DebugStopBefore(pc, lastExecuted);
            if (stop != DebugStop::None) {
                reason = stop == DebugStop::Watch ? StopReason::Watch : StopReason::Reached;
                break;
            }
        }
        if (Terminated()) {
            reason = StopReason::Stopped;
            break;
        }
        if (extras.BeforeStep(Machine.cycles - start, &reason)) break;
        if (Refreshes) {
            if (countdown == 0) countdown = n;
            ScreenUpdateCountdown = --countdown;
            if (countdown == 0) RunCyclesSoFar = Machine.cycles - start;
        }
        // Once per instruction: the step with every store watched, or the one without.
        bool watched = Refreshes ? StepIsWatched(countdown) : StepIsWatched(255);
        if (watching) {
            // Store observers see every store; the windows only when they are due.
            ScreenRefreshDue = watched;
            ScreenUpdateCountdown = 0;
            watched = true;
        }
        const StepResult step = watched ? StepWatched(pc) : StepUnwatched(pc);
        HistoryAfterStep();
        lastExecuted = step.executed;
        ++count;
        breakValue = 1;
        if constexpr (O == Observed::Recorder) {
            Recorder.OnStep(step.executed, step.cycles, step.opcode);
        } else if constexpr (O == Observed::Signals) {
            LogicProbe.Stepped(StepInfoOf(pc, step));
        } else if constexpr (Armed) {
            if (recorderOnly)
                Recorder.OnStep(step.executed, step.cycles, step.opcode);
            else if (only)
                only->Stepped(StepInfoOf(pc, step));
            else if (observed)
                NotifyStepObservers(StepInfoOf(pc, step));
        }
        if (extras.AfterStep(pc, step, &reason)) break;
        if (autoRestart && int32_t(ProgramCounter) > ProgramEnd) RestartProgramAtZero();
        if (Paced && Machine.cycles - start >= nextPace_) Pace(Machine.cycles - start);
    }
    if (watching) ScreenRefreshDue = 1;
    CycleCount = Machine.cycles - start;
    Instructions = count;
    return reason;
}
