// The thread layer with Synchronize, and the run loop of TRunThread with its end-of-run updates.
#include "RunThreads.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

Shared<uint8_t> SingleStepMode;
Shared<uint64_t> RunCyclesSoFar;

// ---- Synchronize -------------------------------------------------------------------------------

namespace {

struct PendingCall {
    const std::function<void()>* fn;
    std::atomic<bool> done{false};
};

std::mutex SyncMutex;
std::condition_variable SyncChanged;
std::deque<PendingCall*> SyncQueue;
std::atomic<void (*)()> SyncWaker{nullptr};
std::atomic<std::thread::id> UiThread{};
// Requests queued and not yet taken, and whether the user-interface thread is serving right now
// (then it sees new requests without being woken).
std::atomic<int> PendingCount{0};
std::atomic<bool> UiServing{false};
// A wake-up is posted and not yet served: no second one is posted meanwhile, so the event loop
// never piles them up while the user-interface thread is busy or waits in WaitFor.
std::atomic<bool> WakePosted{false};

void Wake() {
    if (WakePosted.exchange(true)) return;
    if (void (*waker)() = SyncWaker.load()) waker();
}

bool OnUiThread() { return std::this_thread::get_id() == UiThread.load(); }

void ServeQueued() {
    for (;;) {
        PendingCall* call;
        {
            std::lock_guard<std::mutex> lock(SyncMutex);
            if (SyncQueue.empty()) return;
            call = SyncQueue.front();
            SyncQueue.pop_front();
            PendingCount.fetch_sub(1);
        }
        (*call->fn)();
        {
            std::lock_guard<std::mutex> lock(SyncMutex);
            call->done.store(true, std::memory_order_release);
        }
        SyncChanged.notify_all();
    }
}

}  // namespace

void SetSynchronizeWaker(void (*waker)()) {
    UiThread.store(std::this_thread::get_id());
    SyncWaker.store(waker);
}

void ServePendingSynchronize() {
    // A run that refreshes windows hands over one request after another: once woken, keep serving
    // for a while, so that most requests need no wake-up through the event loop. The time is
    // bounded, so that the windows still get painted.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(15);
    WakePosted.store(false);
    UiServing.store(true);
    for (;;) {
        ServeQueued();
        // Wait briefly for the next request, yielding the processor to whoever needs it (the
        // worker itself, or another program on a busy machine).
        const auto idleEnd = Clock::now() + std::chrono::microseconds(300);
        while (PendingCount.load() == 0 && Clock::now() < idleEnd) std::this_thread::yield();
        if (PendingCount.load() == 0 || Clock::now() >= deadline) break;
    }
    UiServing.store(false);
    // A request that came after the last look needs a wake-up of its own.
    if (PendingCount.load() > 0) Wake();
}

void Synchronize(const std::function<void()>& fn) {
    void (*waker)() = SyncWaker.load();
    if (!waker || OnUiThread()) {
        fn();
        return;
    }
    PendingCall call{&fn};
    {
        std::lock_guard<std::mutex> lock(SyncMutex);
        SyncQueue.push_back(&call);
        PendingCount.fetch_add(1);
    }
    SyncChanged.notify_all();
    if (!UiServing.load()) Wake();
    for (int i = 0; i < 2000 && !call.done.load(std::memory_order_acquire); ++i) std::this_thread::yield();
    std::unique_lock<std::mutex> lock(SyncMutex);
    SyncChanged.wait(lock, [&] { return call.done.load(std::memory_order_acquire); });
}

TThread::~TThread() {
    if (thread_.joinable()) WaitFor();
}

void TThread::Start() {
    thread_ = std::thread([this] {
        Execute();
        {
            std::lock_guard<std::mutex> lock(SyncMutex);
            finished_.store(true, std::memory_order_release);
        }
        SyncChanged.notify_all();
    });
}

void TThread::WaitFor() {
    if (!thread_.joinable()) return;
    if (OnUiThread()) {
        // Serve the worker's routines while waiting, or it could wait for us forever. The worker
        // sees the serving flag and posts no wake-ups meanwhile.
        const bool wasServing = UiServing.exchange(true);
        for (;;) {
            ServeQueued();
            std::unique_lock<std::mutex> lock(SyncMutex);
            if (Finished()) break;
            SyncChanged.wait(lock, [&] { return Finished() || !SyncQueue.empty(); });
        }
        UiServing.store(wasServing);
    }
    thread_.join();
}

// ---- Time texts --------------------------------------------------------------------------------

std::string FormatSeconds(double v) {
    if (v == 0 || !std::isfinite(v)) return v == 0 ? "0" : "?";
    std::string sign = v < 0 ? "-" : "";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.5e", std::fabs(v));  // d.ddddde±x
    std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 5);
    int exp = std::atoi(std::strchr(buf, 'e') + 1);
    auto trim = [](std::string s) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        return s;
    };
    if (exp < -5 || exp >= 6) {
        std::string frac = trim(digits.substr(1));
        return sign + digits.substr(0, 1) + (frac.empty() ? "" : "." + frac) + "E" +
               std::to_string(exp);
    }
    std::string whole, frac;
    if (exp >= 0) {
        whole = digits.substr(0, size_t(exp) + 1);
        frac = digits.substr(size_t(exp) + 1);
    } else {
        whole = "0";
        frac = std::string(size_t(-exp - 1), '0') + digits;
    }
    frac = trim(frac);
    return sign + whole + (frac.empty() ? "" : "." + frac);
}

std::string SimulationTimeText(double seconds) {
    return "Simulation: " + FormatSeconds(seconds) + " sec";
}

std::string ControllerTimeText(uint64_t cycles, int32_t frequency) {
    if (frequency <= 0) return "Controller: ? sec";
    return "Controller: " + FormatSeconds(double(cycles) / (double(frequency) / 12.0)) + " sec";
}

// ---- TRunThread --------------------------------------------------------------------------------

TRunThread::TRunThread(RunThreadView* view, const RunSettings& settings)
    : view_(view), settings_(settings) {}

TRunThread::~TRunThread() { WaitFor(); }

void TRunThread::Execute() {
    // The machine is this thread's for the run: inputs from elsewhere are queued, and what is
    // still queued at the end is applied before the commands return.
    StoringAsWorker = true;
    BeginWorkerOwnership();
    if (job_) RunJob();
    else RunSimulation();
    EndWorkerOwnership();
    // The one end notification of every run and step, also of a step that executed nothing.
    if (view_) Synchronize([this] { view_->SetRunCommands(false); });
}

void TRunThread::ShowPc() {
    if (!view_) return;
    Synchronize([this] {
        RegisterViewIdle = 0;
        view_->ShowProgramCounter(ProgramCounter);
        RegisterViewIdle = 1;
        view_->RunEnded();
    });
}

// The program-counter cell and the listing selection in one round trip to the user-interface
// thread.
void TRunThread::ShowPcAndRow() {
    if (!view_) return;
    Synchronize([this] {
        RegisterViewIdle = 0;
        view_->ShowProgramCounter(ProgramCounter);
        RegisterViewIdle = 1;
        view_->SelectListingRow(ProgramCounter);
    });
}

void TRunThread::ReportTimes() {
    RealSeconds = std::chrono::duration<double>(stop_ - start_).count();
    if (!view_) return;
    std::string simulation = SimulationTimeText(RealSeconds);
    std::string controller = ControllerTimeText(CycleCount, settings_.Frequency);
    Synchronize([&] { view_->SetRunTimes(simulation, controller); });
}

void TRunThread::BeginRun() {
    start_ = std::chrono::steady_clock::now();
    nextPace_ = 0;
    CycleCount = Instructions = 0;
}

namespace {

StopReason ReasonOf(HistoryHit::Kind kind) {
    switch (kind) {
        case HistoryHit::Kind::Breakpoint: return StopReason::Breakpoint;
        case HistoryHit::Kind::Watch: return StopReason::Watch;
        case HistoryHit::Kind::Reached: return StopReason::Reached;
        case HistoryHit::Kind::End: return StopReason::End;
        case HistoryHit::Kind::None:
        case HistoryHit::Kind::Stopped: break;
    }
    return StopReason::Stopped;
}

}  // namespace

void RestartProgramAtZero() {
    ApplyInput(MakeInput(InputKind::SetPc, 0));
}

bool TRunThread::ReplayedToAStop() {
    const uint64_t cycles = Machine.cycles, instructions = Machine.instructions;
    const HistoryHit hit = HistoryRunForward(StopFlag());
    CycleCount = Machine.cycles - cycles;
    Instructions = Machine.instructions - instructions;
    if (hit.kind == HistoryHit::Kind::None) return false;
    Reason = ReasonOf(hit.kind);
    return true;
}

void TRunThread::RunJob() {
    start_ = std::chrono::steady_clock::now();
    const uint64_t cycles = Machine.cycles, instructions = Machine.instructions;
    JobResult = job_(StopFlag());
    stop_ = std::chrono::steady_clock::now();
    RealSeconds = std::chrono::duration<double>(stop_ - start_).count();
    Reason = ReasonOf(JobResult.kind);
    // The stopwatch's last run is the distance moved, whichever way.
    CycleCount = Machine.cycles > cycles ? Machine.cycles - cycles : cycles - Machine.cycles;
    Instructions = Machine.instructions > instructions ? Machine.instructions - instructions
                                                       : instructions - Machine.instructions;
    ShowPcAndRow();
    CyclesLastRun = CycleCount;
    NoteStoppingBreakpoint(JobResult.breakpointId);
    HistoryNoteStop();
    ShowPc();
}

// The controller time of the cycles run so far is due at start_ + cycles * 12 / Frequency. The
// loop looks every millisecond of controller time; when the host is ahead it sleeps, in slices
// of at most 10 ms so that Stop is answered at once, and when it is behind (a slow slice, a busy
// machine) it runs on without sleeping until it has caught up.
[[gnu::noinline]] void TRunThread::Pace(uint64_t cycles) {
    using namespace std::chrono;
    const double cyclesPerSecond = settings_.Frequency > 0 ? settings_.Frequency / 12.0 : 1e6;
    const auto due = start_ + duration_cast<steady_clock::duration>(
                                  duration<double>(double(cycles) / cyclesPerSecond));
    for (;;) {
        const auto now = steady_clock::now();
        if (now >= due || Terminated()) break;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(due - now, milliseconds(10)));
    }
    nextPace_ = cycles + std::max<uint64_t>(1, uint64_t(cyclesPerSecond / 1000));
}

void TRunThread::EndRun() {
    ScreenUpdateCountdown = 0;
    if (CycleCount > 0) {
        stop_ = std::chrono::steady_clock::now();
        ReportTimes();
    }
    ShowPcAndRow();
    CommonEnd();
}

void TRunThread::StepMode() {
    CycleCount = 0;
    if (HistoryInPast()) {
        // The next instruction of the recorded future, with the inputs recorded there.
        start_ = std::chrono::steady_clock::now();
        const uint64_t cycles = Machine.cycles;
        HistoryGoTo(Machine.instructions + 1);
        CycleCount = Machine.cycles - cycles;
        Instructions = 1;
    } else {
        if (int32_t(ProgramCounter) > ProgramEnd) {
            if (!settings_.AutoRestart) return;
            RestartProgramAtZero();
        }
        start_ = std::chrono::steady_clock::now();
        const uint16_t pc = ProgramCounter;
        // The Logic Analyzer's signals hang on the core's observers for this step (Signals.h).
        const SignalArming recording(LogicSignals);
        const StepResult step = StepInstruction(pc);
        HistoryAfterStep();
        CycleCount = step.cycles;
        Instructions = 1;
        if (StepObserversInstalled()) NotifyStepObservers(StepInfoOf(pc, step));
    }
    stop_ = std::chrono::steady_clock::now();
    Reason = StopReason::Stopped;
    ShowPcAndRow();
    ReportTimes();
    CommonEnd();
}

void TRunThread::CommonEnd() {
    NoteRunCycles(CycleCount);
    NoteStoppingBreakpoint(Reason == StopReason::Breakpoint ? CodeBreakpointAt(ProgramCounter)
                           : Reason == StopReason::Watch    ? LastWatchHit().id
                                                            : 0);
    if (int32_t(ProgramCounter) > ProgramEnd && !HistoryInPast()) RestartProgramAtZero();
    HistoryNoteStop();
    ShowPc();
}
