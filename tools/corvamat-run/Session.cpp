// The headless session: settings, loading, breakpoints and data breakpoints, the run with the
// runner's additions (cycle limit, idle jumps, trace; serial input on the core's serial line) and
// the texts of its end.
#include "Session.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Board.h"
#include "HexText.h"
#include "ProgramFiles.h"
#include "ProgramSymbols.h"
#include "Recorder.h"
#include "SignalNames.h"
#include "Settings.h"
#include "Targets.h"

namespace {

// ---- Loading -----------------------------------------------------------------------------------

// Collects the loaders' messages, each followed by the program file's name unless it already
// names it (the messages about reading the file do). The checksum question is answered No.
class CollectingReporter : public LoadReporter {
public:
    explicit CollectingReporter(std::string path) : path_(std::move(path)) {}
    void ShowError(const std::string& m) override {
        Add(m.find(path_) == std::string::npos ? m + " (file " + path_ + ")" : m);
    }
    bool AskYesNo(const std::string& q) override {
        Add(q + " No (file " + path_ + "; use --ignore-checksum to accept)");
        return false;
    }
    std::string text;

private:
    void Add(const std::string& line) { text += (text.empty() ? "" : "\n") + line; }
    std::string path_;
};

// Tells what the load changed: jump and call targets moved by the relocation of a binary image,
// bytes past FFFFh dropped.
void NoteLoad(const std::string& program, Messages* messages) {
    const LoadSummary& s = LastLoadSummary;
    if (s.Relocated && s.MovedTargets > 0) {
        const uint32_t n = s.MovedTargets;
        messages->notes.push_back(program + ": binary image relocated from " + HexAddressText(s.Offset) +
                                  " to 0000h: " + std::to_string(n) +
                                  (n == 1 ? " jump or call target" : " jump and call targets") +
                                  " moved down by " + HexAddressText(s.Offset) +
                                  " (--bin-offset 0 loads it unchanged)");
    }
    if (s.DroppedBytes)
        messages->notes.push_back(program + ": " + std::to_string(s.DroppedBytes) +
                                  (s.DroppedBytes == 1 ? " byte" : " bytes") + " past FFFFh dropped");
}

// ---- The run -----------------------------------------------------------------------------------

// The runner's additions to the run loop: cycle limit, idle jumps and the trace. Serial input is
// the core's serial line, which delivers at the pace of the frames.
class RunnerExtras {
public:
    uint64_t maxCycles = UINT64_MAX;
    uint64_t maxInstructions = UINT64_MAX;
    InstructionSink* trace = nullptr;

    // The cycle limit and the instruction limit.
    bool BeforeStep(uint64_t cycles, StopReason* reason) {
        if (cycles >= maxCycles) [[unlikely]] {
            *reason = StopReason::MaxCycles;
            return true;
        }
        if (Machine.instructions - startInstructions >= maxInstructions) [[unlikely]] {
            *reason = StopReason::MaxInstructions;
            return true;
        }
        return false;
    }

    bool AfterStep(uint16_t pc, const StepResult& step, StopReason* reason) {
        // The cycles of the run so far, this instruction's included.
        if (trace) trace->Executed(step.executed, Machine.cycles - start);
        const uint16_t executed = step.executed;
        if (ProgramCounter != executed || executed != pc) return false;
        uint8_t op = CodeMemory[executed];
        if (op == 0x80 || op == 0x02 || (op & 0x1F) == 0x01) {
            uint8_t ie = InternalRam[Sfr::IE];
            if (!(ie & 0x80) || !(ie & 0x3F)) {
                *reason = StopReason::Idle;
                return true;
            }
        }
        return false;
    }

private:
    const uint64_t start = Machine.cycles;
    const uint64_t startInstructions = Machine.instructions;
};

std::atomic<TRunThread*> ActiveRun{nullptr};

extern "C" void OnSignal(int) {
    if (TRunThread* t = ActiveRun.load()) t->Terminate();
}

// The stop reason in the stop line.
const char* StopText(StopReason r) {
    switch (r) {
        case StopReason::End: return "end of program";
        case StopReason::Breakpoint: return "breakpoint";
        case StopReason::Idle: return "idle jump";
        case StopReason::MaxCycles: return "cycle limit";
        case StopReason::Stopped: return "interrupted";
        case StopReason::Watch: return "watch";
        case StopReason::Reached: return "stop";
        case StopReason::MaxInstructions: return "instruction limit";
    }
    return "end of program";
}

}  // namespace

// ---- Settings and loading ----------------------------------------------------------------------

Status ApplySettings(const SettingsChoice& choice) {
    if (!choice.iniFile.empty()) {
        const std::string& path = choice.iniFile;
        auto fail = [&](int err) {
            return Failure{kExitUsage, "cannot read settings file " + path + ": " + std::strerror(err)};
        };
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) return fail(EISDIR);
        errno = 0;
        auto ini = IniFile::Load(path);
        if (!ini) return fail(errno ? errno : EIO);
        Settings = ReadSettings(*ini, ExecutableFolder());
    }
    if (choice.processor) Settings.Processor = *choice.processor;
    if (choice.frequency) Settings.Frequency = *choice.frequency;
    if (choice.binOffset) Settings.BinOffset = *choice.binOffset;
    if (choice.ignoreChecksum) Settings.IgnoreChecksum = true;
    return {};
}

Result<Board> ReadBoardOption(const std::string& path) {
    Board board;
    std::string error;
    if (!LoadBoardFile(path, &board, &error)) return Failure{kExitUsage, error, false};
    return board;
}

namespace {
std::optional<LedBarWiring> BoardLedBar;
}

void AttachBoard(const Board& board, bool keypad) {
    ApplyBoard(board, &Settings);
    SetBoardClock(Settings.Frequency);
    if (board.LCD) AttachLcd(*board.LCD);
    if (board.Keypad4x4 || keypad) AttachKeypad4x4(Settings.Keypad4x4);
    if (board.LED && board.LED->Trigger && board.LED->Persistence) {
        SegmentWiring w;
        w.Digits = board.LED->Digits;
        std::copy(board.LED->Trig, board.LED->Trig + 8, w.Select.begin());
        std::copy(board.LED->LED, board.LED->LED + 8, w.Segments.begin());
        AttachSegmentPersistence(w);
    }
    BoardLedBar = board.LEDBar;
}

Status LoadProgram(const std::string& program, const std::string& symbolsFile, Messages* messages) {
    Processor8052 = Settings.Processor;
    InitMachineState();
    CollectingReporter reporter(program);
    if (!LoadProgramFile(program, reporter)) return Failure{kExitLoad, reporter.text};
    NoteLoad(program, messages);
    ProgramCounter = 0;
    std::string error;
    if (!symbolsFile.empty()) {
        if (!LoadProgramSymbolsFile(symbolsFile, program, &error)) return Failure{kExitLoad, error};
    } else if (!LoadProgramSymbolsBeside(program, &error) && !error.empty()) {
        messages->warnings.push_back(error + " The program runs without symbols.");
    }
    // What the symbol reader skipped.
    for (const auto& note : ProgramSymbols.notes) messages->notes.push_back(note);
    HistoryRestart();
    return {};
}

Result<std::vector<uint8_t>> ReadSerialInput(const std::string& path) {
    constexpr size_t kMaxSerialInput = 16u << 20;
    auto fail = [&](int err) { return Failure{kExitUsage, "cannot read " + path + ": " + std::strerror(err)}; };
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fail(EISDIR);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(errno);
    std::vector<uint8_t> bytes;
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        bytes.insert(bytes.end(), block, block + n);
        if (bytes.size() > kMaxSerialInput) {
            std::fclose(f);
            return Failure{kExitUsage, "cannot read " + path + ": more than 16 MB of serial input"};
        }
    }
    const bool failed = std::ferror(f);
    const int err = errno ? errno : EIO;
    std::fclose(f);
    if (failed) return fail(err);
    return bytes;
}

// ---- Stops -------------------------------------------------------------------------------------

Result<uint16_t> ResolveBreakName(const std::string& name, Messages* messages) {
    auto target = ResolveCodeTarget(name);
    if (!target) return UsageFailure("--break " + name + ": " + target.error());
    if (!target->note.empty()) messages->notes.push_back(target->note);
    return target->address;
}

Result<std::vector<DataBreakpoint>> ResolveWatchOption(const std::string& text) {
    auto watches = ResolveDataTarget(text);
    if (!watches) return UsageFailure("--watch " + text + ": " + watches.error());
    return *watches;
}

Status ArmStops(const StopPlan& plan, Messages* messages) {
    std::vector<uint16_t> breaks = plan.breaks;
    for (const auto& name : plan.breakNames) {
        auto a = ResolveBreakName(name, messages);
        if (!a) return a.failure();
        breaks.push_back(*a);
    }
    std::vector<DataBreakpoint> watches = plan.watches;
    for (const auto& text : plan.watchNames) {
        auto w = ResolveWatchOption(text);
        if (!w) return w.failure();
        watches.insert(watches.end(), w->begin(), w->end());
    }
    for (size_t i = 0; i < breaks.size(); ++i) {
        // A breakpoint given by name keeps the name as its label.
        const size_t named = i >= plan.breaks.size() ? i - plan.breaks.size() : plan.breakNames.size();
        AddCodeBreakpoint(breaks[i], named < plan.breakNames.size() ? plan.breakNames[named] : std::string());
    }
    for (const DataBreakpoint& w : watches) AddDataBreakpoint(w);
    ArmDebugStops(nullptr);
    return {};
}

// ---- The run -----------------------------------------------------------------------------------

RunOutcome RunProgram(RunSetup& setup) {
    RunSettings rs;
    rs.Frequency = Settings.Frequency;
    rs.ScrUpdate = 0;  // no windows: the same as "Update screen every" switched off
    rs.AutoRestart = Settings.AutoRestart;
    rs.RealTime = Settings.RealTime || setup.realTime;
    TRunThread run(nullptr, rs);

    // History from the loaded program on (LoadProgram starts it), for --back and --last-write; a
    // later run of the same session goes on recording.
    if (HistoryBudget() != setup.historyMB << 20) SetHistoryBudget(setup.historyMB << 20);
    RunOutcome outcome;
    outcome.startCycles = Machine.cycles;
    outcome.startInstructions = Machine.instructions;
    RunnerExtras extras;
    extras.maxCycles = setup.maxCycles;
    extras.maxInstructions = setup.maxInstructions;
    extras.trace = setup.trace;
    SerialLineSend(setup.serialInput.data(), setup.serialInput.size());
    if (!setup.presses.empty()) {
        // Each key is held for 20 ms of controller time.
        std::vector<ScheduledKey> keys;
        for (const KeyPress& p : setup.presses) keys.push_back({p.key, p.cycle});
        ScheduleKeypad4x4Presses(keys, uint64_t(Settings.Frequency) / 12 * 20 / 1000);
    }
    InstallSerialOutputHook(setup.serialOutput);
    // The runner writes no trace from the ring, so it keeps none. The recorder is its only step
    // observer, so it always finds a place.
    if (setup.record) (void)Recorder.Enable(0);
    SingleStepMode = 0;
    ActiveRun = &run;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    run.RunSimulation(extras);
    ActiveRun = nullptr;
    InstallSerialOutputHook(nullptr);

    outcome.reason = run.Reason;
    outcome.pc = ProgramCounter;
    outcome.cycles = run.CycleCount;
    outcome.instructions = run.Instructions;
    outcome.hostSeconds = run.RealSeconds;
    if (run.Reason == StopReason::Watch) outcome.watchWriter = LastWatchHit().writer;
    if (LcdAttached())
        for (int line = 0; line < BoardLcd().Wiring().Lines; ++line) outcome.lcd.push_back(BoardLcd().LineText(line));
    if (BoardLedBar) outcome.leds = LitLeds(*BoardLedBar, PinLevels());
    return outcome;
}

const char* StopName(StopReason r) {
    switch (r) {
        case StopReason::End: return "end";
        case StopReason::Breakpoint: return "breakpoint";
        case StopReason::Idle: return "idle";
        case StopReason::MaxCycles: return "max-cycles";
        case StopReason::Stopped: return "interrupted";
        case StopReason::Watch: return "watch";
        case StopReason::Reached: return "reached";
        case StopReason::MaxInstructions: return "max-instructions";
    }
    return "end";
}

void GoBack(uint64_t count, RunOutcome* o) {
    // The run's stop line keeps where it stopped; the rest describes the instant gone back to.
    o->stopPc = o->pc;
    o->stopCycles = o->cycles;
    o->back = HistoryStepBack(count);
    o->pc = ProgramCounter;
    o->cycles = Machine.cycles - o->startCycles;
    o->instructions = Machine.instructions - o->startInstructions;
    if (o->back > 0) o->watchWriter.reset();
}

Result<HistoryHit> LastWrite(const std::string& text) {
    auto targets = ResolveDataTarget(text);
    if (!targets) return UsageFailure("--last-write " + text + ": " + targets.error());
    for (DataBreakpoint& t : *targets) t.match = WatchMatch::AnyWrite;
    return HistoryLastWrite(*targets);
}

std::string StopLine(const RunOutcome& o) {
    const bool back = o.stopPc.has_value();
    std::string line = std::string(StopText(o.reason)) + " at " + HexAddressText(back ? *o.stopPc : o.pc) +
                       " after " + std::to_string(back ? o.stopCycles : o.cycles) + " machine cycles";
    if (back) line += ", then back " + std::to_string(o.back) + " instructions to " + HexAddressText(o.pc);
    return line;
}

std::string StatsText(const RunOutcome& o) {
    const double secs = o.hostSeconds > 0 ? o.hostSeconds : 1e-9;
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "instructions: %llu\nmachine cycles: %llu\nhost seconds: %.6f\ncycles per second: %.0f\n",
                  (unsigned long long)o.instructions, (unsigned long long)o.cycles, o.hostSeconds,
                  double(o.cycles) / secs);
    return buf + ControllerTimeText(o.cycles, Settings.Frequency) + "\n";
}

int ExitStatusOf(StopReason r) {
    switch (r) {
        case StopReason::MaxCycles:
        case StopReason::MaxInstructions: return kExitMaxCycles;
        case StopReason::Stopped: return kExitInterrupted;
        default: return kExitOk;
    }
}

Status ArmSignals(const std::string& list) {
    std::vector<SignalDef> signals = PortPinSignals();
    std::string error;
    if (!list.empty() && !ParseSignalList(list, ActiveProgramSymbols(), &signals, &error))
        return UsageFailure("--signals " + list + ": " + error);
    LogicSignals.SetSignals(std::move(signals));
    LogicSignals.Begin(0);
    return std::nullopt;
}
