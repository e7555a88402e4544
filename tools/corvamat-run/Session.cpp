// The headless session: settings, loading, breakpoints and data breakpoints, the run with the
// runner's additions (cycle limit, serial input, idle jumps, trace) and the texts of its end.
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
#include "Settings.h"

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

// The runner's additions to the run loop: cycle limit, serial input, idle jumps and the trace.
class RunnerExtras {
public:
    uint64_t maxCycles = UINT64_MAX;
    const std::vector<uint8_t>* input = nullptr;
    size_t inputSize = 0;  // input->size(), once the input is set
    size_t nextInput = 0;
    InstructionSink* trace = nullptr;

    // Call once the fields above are set.
    void Prepare() { checkAt = nextInput < inputSize ? 0 : maxCycles; }

    // One test per instruction: the cycle count reaching checkAt, which is 0 while input waits
    // (every instruction then looks), else the cycle limit.
    bool BeforeStep(uint64_t cycles, StopReason* reason) {
        cyclesBefore = cycles;
        if (cycles >= checkAt) [[unlikely]] return Check(cycles, reason);
        return false;
    }

    bool AfterStep(uint16_t pc, uint16_t executed, StopReason* reason) {
        if (trace) trace->Executed(executed, cyclesBefore + AsmTable[CodeMemory[pc]].Cycles);
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
    uint64_t cyclesBefore = 0;
    uint64_t checkAt = 0;

    [[gnu::noinline]] bool Check(uint64_t cycles, StopReason* reason) {
        if (cycles >= maxCycles) {
            *reason = StopReason::MaxCycles;
            return true;
        }
        if (nextInput < inputSize) DeliverInput();
        Prepare();
        return false;
    }

    // The next byte arrives once the receiver is on (REN), RI is clear and the program has read
    // the previous byte from SBUF: the file is a sender that never outruns the program.
    [[gnu::noinline]] void DeliverInput() {
        const uint8_t scon = InternalRam[Sfr::SCON];
        if (!(scon & 0x10) || (scon & 0x01) || !SerialReceiveBufferRead) return;
        ReceiveSerialByte((*input)[nextInput++], 0);
    }
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
    return {};
}

Result<std::vector<uint8_t>> ReadSerialInput(const std::string& path) {
    auto fail = [&](int err) { return Failure{kExitUsage, "cannot read " + path + ": " + std::strerror(err)}; };
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fail(EISDIR);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(errno);
    std::vector<uint8_t> bytes;
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
    const bool failed = std::ferror(f);
    const int err = errno ? errno : EIO;
    std::fclose(f);
    if (failed) return fail(err);
    return bytes;
}

// ---- Stops -------------------------------------------------------------------------------------

Result<uint16_t> ResolveBreakName(const std::string& name, Messages* messages) {
    const SymbolTable* t = ActiveProgramSymbols();
    if (!t) return UsageFailure("--break " + name + " needs the program's symbols (a .cdb beside it or --symbols)");
    const auto colon = name.rfind(':');
    if (colon != std::string::npos) {
        const unsigned long long wanted = std::strtoull(name.c_str() + colon + 1, nullptr, 10);
        if (wanted == 0 || wanted > UINT32_MAX)
            return UsageFailure("--break " + name + ": FILE.c:LINE takes a line number 1-4294967295");
        const uint32_t line = uint32_t(wanted);
        uint32_t actual = 0;
        auto a = t->AddressOfLine(name.substr(0, colon), line, &actual);
        if (!a) return UsageFailure("--break " + name + ": no code at or after that line");
        if (actual != line)
            messages->notes.push_back(name + " has no code; the breakpoint is on line " + std::to_string(actual));
        return *a;
    }
    if (const Function* f = t->FindFunction(name)) return f->start;
    for (const auto& l : t->labels)
        if (l.code && (l.name == name || l.name == "_" + name)) return l.address;
    return UsageFailure("--break " + name + ": no such function");
}

Result<std::vector<DataBreakpoint>> ResolveWatchOption(const std::string& text) {
    const SymbolTable* t = ActiveProgramSymbols();
    if (!t) return UsageFailure("--watch " + text + " needs the program's symbols (a .cdb beside it or --symbols)");
    const auto eq = text.find('=');
    const std::string name = text.substr(0, eq), value = eq == std::string::npos ? "" : text.substr(eq);
    std::string error;
    auto w = ResolveWatchName(*t, name, &error);
    if (!w) return UsageFailure("--watch " + text + ": " + error);
    const uint32_t bytes = value.empty() ? w->size : 1;
    std::vector<DataBreakpoint> watches;
    for (uint32_t i = 0; i < bytes; ++i) {
        DataBreakpoint b;
        const uint32_t a = w->address + i;
        if (a > 0xFFFF) return UsageFailure("--watch " + text + ": the variable lies past the end of memory");
        if (!ParseWatchText(HexDigits(a, a > 0xFF ? 4 : 2) + ":" + w->space + value, &b, &error))
            return UsageFailure("--watch " + text + ": " + error);
        watches.push_back(b);
    }
    return watches;
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
    for (uint16_t b : breaks) BreakpointTable.Set(b, 1);
    DataBreakpoints = watches;
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

    RunnerExtras extras;
    extras.maxCycles = setup.maxCycles;
    extras.input = &setup.serialInput;
    extras.inputSize = setup.serialInput.size();
    extras.trace = setup.trace;
    extras.Prepare();
    InstallSerialOutputHook(setup.serialOutput);
    SingleStepMode = 0;
    ActiveRun = &run;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    run.RunSimulation(extras);
    ActiveRun = nullptr;
    InstallSerialOutputHook(nullptr);

    RunOutcome outcome;
    outcome.reason = run.Reason;
    outcome.pc = ProgramCounter;
    outcome.cycles = run.CycleCount;
    outcome.instructions = run.Instructions;
    outcome.hostSeconds = run.RealSeconds;
    if (run.Reason == StopReason::Watch) outcome.watchWriter = LastWatchHit().writer;
    if (LcdAttached())
        for (int line = 0; line < BoardLcd().Wiring().Lines; ++line) outcome.lcd.push_back(BoardLcd().LineText(line));
    if (BoardLedBar) outcome.leds = LitLeds(*BoardLedBar, PortLevels{{PortPinLevels(0), PortPinLevels(1), PortPinLevels(2), PortPinLevels(3)}});
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
    }
    return "end";
}

std::string StopLine(const RunOutcome& o) {
    return std::string(StopText(o.reason)) + " at " + HexAddressText(o.pc) + " after " +
           std::to_string(o.cycles) + " machine cycles";
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
        case StopReason::MaxCycles: return kExitMaxCycles;
        case StopReason::Stopped: return kExitInterrupted;
        default: return kExitOk;
    }
}
