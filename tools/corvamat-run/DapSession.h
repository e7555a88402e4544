// The debugging session the Debug Adapter Protocol server drives: the loaded program, its code and
// data breakpoints, runs in slices and steps by source line or instruction, and what a stop shows
// (call stack, variables, registers, memory, disassembly). It knows nothing of the protocol's
// messages; every failure is returned as a message.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Debugger.h"
#include "Session.h"
#include "ValueDecoder.h"

class SymbolTable;

// What a launch request asks for; empty texts are not given.
struct LaunchOptions {
    std::string program, symbols, ini, cpu, serialIn, cwd;
    std::optional<int64_t> frequency;
    std::optional<int64_t> binOffset;
    bool stopOnEntry = false;
};

// A memory of the controller as memory references name it: "code", "iram" (00h-FFh as @Ri
// reaches it), "sfr" (80h-FFh), "xram".
enum class MemorySpace { Code, Iram, Sfr, Xram };
struct MemoryAddress {
    MemorySpace space = MemorySpace::Code;
    uint32_t address = 0;
};
// "code:0x0040", "iram:0x30", "xram:0x0100" (and "0x0040" for code), with an offset added.
std::optional<MemoryAddress> ParseMemoryReference(const std::string& text, int64_t offset, std::string* error);
std::string MemoryReference(MemorySpace space, uint32_t address);
uint32_t MemorySize(MemorySpace space);

// How a run ended, as the server reports it.
struct RunEnd {
    enum Kind { Entry, Breakpoint, Step, DataBreakpoint, Pause, Goto, Exited } kind = Step;
    uint16_t pc = 0;
    int breakpoint = 0;       // Breakpoint, DataBreakpoint: the core's id of the one that stopped it
    std::string text;         // a short description for the user
    std::string description;  // what the stop is, when the reason alone does not say it
};

// One shown value: a variable, a register, a member. `children` (structures, arrays, PSW's flags)
// are listed when the client expands it.
struct ShownValue {
    std::string name, value, type, evaluateName, memoryReference;
    std::vector<ShownValue> children;
    // What setVariable writes: a variable of the program (its encoder says what it takes), a
    // register or SFR (by its InternalRam index), a cell of internal RAM as @Ri reaches it, of
    // external RAM or of code memory, a bit, DPTR, the program counter, or nothing (members and
    // elements are read-only).
    enum class Target { None, Symbol, Direct, Indirect, External, Code, Bit, Dptr, Pc } target = Target::None;
    const struct Symbol* symbol = nullptr;
    uint16_t address = 0;
};

struct SourceLocation {
    std::string path;  // the file found on disk, or the name the symbols give
    uint32_t line = 0;
};

struct StackFrameInfo {
    std::string name;
    uint16_t pc = 0;
    std::optional<SourceLocation> source;
    const struct Function* function = nullptr;
    bool top = false;
};

struct DisassembledInstruction {
    uint32_t address = 0;
    std::string text, bytes, symbol;
    std::optional<SourceLocation> source;
    bool valid = true;
};

class DapSession {
public:
    DapSession();
    ~DapSession();

    // Loads the program (and its symbols) with the launch's settings. "" or the reason it failed.
    std::string Launch(const LaunchOptions& options);
    bool Launched() const { return launched_; }
    bool StopOnEntry() const { return stopOnEntry_; }
    const SymbolTable* Symbols() const;
    // Messages about the load worth showing the user (relocation, symbols not used).
    std::vector<std::string> TakeNotes();

    // ---- Breakpoints, kept in the core's one list (Debugger.h). Code breakpoints come in groups
    // (a source file, "functions", "instructions"), each replaced whole as the protocol sets them;
    // the core holds one breakpoint for every address some group names.
    struct CodeBreak {
        uint16_t address = 0;
        std::string label;  // where the user set it: "main.c:12", "spin", "0x0040"
    };
    void SetCodeBreakpoints(const std::string& group, const std::vector<CodeBreak>& list);
    // Replaces the data breakpoints; the core's id of each, in order.
    std::vector<int> SetDataBreakpoints(const std::vector<DataBreakpoint>& list, const std::vector<std::string>& labels);

    // ---- Running. Resume arms the stop and marks the session running; RunSlice then runs up to
    // `cycles` machine cycles and returns the end when the run stopped.
    enum class Resume { Continue, LineOver, LineIn, Out, Instruction, InstructionOver };
    void Start(Resume how);
    bool Running() const { return running_; }
    std::optional<RunEnd> RunSlice(uint64_t cycles);
    RunEnd Pause();
    bool Ended() const { return ended_; }
    // Serial input: the bytes go to the receiver on the core's serial line, at the pace of its
    // frames and never faster than the program reads them.
    void QueueSerialInput(const std::string& bytes);
    // Bytes the program has sent since the last call.
    std::string TakeOutput();
    // Moves back in the recorded history while stopped: one instruction (`instruction`, or without
    // line records), else to the start of the previous source line executed.
    RunEnd StepBack(bool instruction);
    // Back to the latest instant where an enabled code or data breakpoint would have stopped a
    // forward run, or to the oldest instant history keeps.
    RunEnd ReverseContinue();
    // Sets the program counter (a goto); false with a message when it cannot.
    bool SetProgramCounter(uint16_t address, std::string* error);
    // Back to the state right after the launch: the machine as loaded, no breakpoints, the serial
    // input from its start; what a new launch of the same program gives without reading its files
    // again.
    void ResetToLaunch();

    // ---- What a stop shows.
    std::vector<StackFrameInfo> StackFrames() const;
    std::optional<SourceLocation> SourceOf(uint16_t address) const;
    // Locals (with the parameters) of a frame, the globals, the registers, the SFRs.
    std::vector<ShownValue> Locals(const StackFrameInfo& frame) const;
    std::vector<ShownValue> Globals() const;
    std::vector<ShownValue> Registers() const;
    std::vector<ShownValue> SpecialFunctionRegisters() const;
    // A name, register, SFR or memory cell as the debug console evaluates it.
    std::optional<ShownValue> Evaluate(const std::string& expression, std::string* error) const;
    // Writes a number into what `target` shows; the new value, or nullopt with a message.
    std::optional<ShownValue> SetValue(const ShownValue& target, const std::string& text, std::string* error);

    // ---- Memory and code.
    // Reads `count` bytes from `at`; fewer when the memory ends first.
    std::vector<uint8_t> ReadMemory(const MemoryAddress& at, uint32_t count) const;
    // Writes bytes as a user's edits (the input queue); how many were written.
    uint32_t WriteMemory(const MemoryAddress& at, const std::vector<uint8_t>& bytes);
    // `count` instructions starting `offset` instructions from the one at `address`.
    std::vector<DisassembledInstruction> Disassemble(uint32_t address, int64_t offset, int64_t count) const;

    // Where the program's source files are looked for.
    std::string FindSourceFile(const std::string& name) const;

private:
    bool launched_ = false, stopOnEntry_ = false, running_ = false, ended_ = false;
    bool finishLineAfterReturn_ = false;
    std::vector<std::string> notes_;
    std::vector<std::string> sourceDirs_;
    std::map<std::string, std::vector<CodeBreak>> codeBreakpoints_;
    std::vector<int> dataIds_;  // the core's ids of the data breakpoints set here
    RunSetup run_;  // the runs' settings and output hook, as the runner's options give them
    std::string output_;
    class Sink;
    Sink* sink_;
    // For ResetToLaunch: the machine as loaded and the launch's serial input.
    std::unique_ptr<MachineState> launchState_;
    uint64_t launchInstructions_ = 0;  // the instruction count at the launch: the program's entry
    std::vector<uint8_t> serialIn_;

    // The run's one-shot stop, kept to arm again when the data breakpoints change during the run.
    void Arm(const OneShotStop* stop);
    std::unique_ptr<OneShotStop> oneShot_;
    ShownValue ShowSymbol(const std::string& name, const struct Symbol& s) const;
};
