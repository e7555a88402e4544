// A headless debugging session: settings, the program and its symbols, stops, one run and why it
// ended. corvamat-run's options drive it; whatever else drives a run calls the same functions.
//
// Every function returns its errors as values (Result.h) and prints nothing: messages for the
// user are handed back in Messages and the caller decides where they go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Code.h"
#include "Debugger.h"
#include "Result.h"
#include "RunThreads.h"

// Messages that are no failure: notes (what the load changed, a breakpoint moved to the next line
// with code) may be left out with --quiet; warnings are always shown.
struct Messages {
    std::vector<std::string> notes, warnings;
};

// The settings of a session: a settings file of the corvamat.ini format, then overrides.
struct SettingsChoice {
    std::string iniFile;
    std::optional<uint8_t> processor;  // 0 = 8051, 1 = 8052
    std::optional<int32_t> frequency;
    std::optional<uint16_t> binOffset;
    bool ignoreChecksum = false;
};
// Reads the settings file (a failure is a usage error naming it) and applies the overrides.
Status ApplySettings(const SettingsChoice& choice);

// Clears the machine for the chosen processor and loads the program, then its symbols: those of
// `symbolsFile` (a failure is a load failure) or those found beside the program (a failure is a
// warning, and the session goes on without). A load failure carries the loaders' messages, each
// naming the program file, with exit status 2.
Status LoadProgram(const std::string& program, const std::string& symbolsFile, Messages* messages);

// The bytes of a --serial-in file, read whole before the run (a failure is a usage error; so is a
// file of more than 16 MB, such as a device that never ends).
Result<std::vector<uint8_t>> ReadSerialInput(const std::string& path);

// Where a run stops besides the end of the program.
struct StopPlan {
    std::vector<uint16_t> breaks;         // code addresses
    std::vector<std::string> breakNames;  // --break texts, resolved once the symbols are read
    std::vector<DataBreakpoint> watches;
    std::vector<std::string> watchNames;  // --watch texts, likewise (names before addresses)
    uint64_t maxCycles = UINT64_MAX;
};
// A --break target's address (ResolveCodeTarget): an address, a function, a label, the first
// instruction of a source line (or of the next line with code, with a note saying so).
Result<uint16_t> ResolveBreakName(const std::string& name, Messages* messages);
// A --watch target's data breakpoints (ResolveDataTarget): an address, or a variable's bytes.
Result<std::vector<DataBreakpoint>> ResolveWatchOption(const std::string& text);
// Resolves and sets the code and data breakpoints of the plan.
Status ArmStops(const StopPlan& plan, Messages* messages);

// Chooses the signals that the run records for --vcd: those named in `list` (comma-separated, as
// the Logic Analyzer window names them; variables through the symbols), or the 32 port pins
// when it is empty. Recording starts at machine cycle 0.
Status ArmSignals(const std::string& list);

// Receives every instruction executed (its address, the machine cycles counted once it has run),
// for a trace.
class InstructionSink {
public:
    virtual ~InstructionSink() = default;
    virtual void Executed(uint16_t address, uint64_t cycles) = 0;
};

struct RunSetup {
    uint64_t maxCycles = UINT64_MAX;
    bool realTime = false;
    std::vector<uint8_t> serialInput;     // put on the core's serial line as the run starts
    SerialOutputHook* serialOutput = nullptr;
    InstructionSink* trace = nullptr;
    // Records coverage and profile (Recorder.h) for --coverage, --profile.
    bool record = false;
};

struct RunOutcome {
    StopReason reason = StopReason::End;
    uint16_t pc = 0;
    uint64_t cycles = 0, instructions = 0;
    double hostSeconds = 0;
    std::optional<uint16_t> watchWriter;  // the instruction that wrote a watched byte
};

// Runs the loaded program on the calling thread until it stops (StopReason::MaxCycles once
// setup.maxCycles more machine cycles have run). SIGINT and SIGTERM end it at an instruction
// boundary with StopReason::Stopped.
RunOutcome RunProgram(RunSetup& setup);

// The stop reason as the dump names it ("end", "breakpoint", "idle", "max-cycles", ...).
const char* StopName(StopReason reason);
// "idle jump at 001Ch after 107 machine cycles"
std::string StopLine(const RunOutcome& outcome);
// Instructions, machine cycles, host seconds, cycles per second and controller time, one a line.
std::string StatsText(const RunOutcome& outcome);
// 0, or 1 after the cycle limit, 130 after a signal.
int ExitStatusOf(StopReason reason);
