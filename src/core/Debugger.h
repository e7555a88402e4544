// Debugger stop conditions beyond the run loop's code-breakpoint test (one-shot stops, frame
// tests, data breakpoints), the breakpoints with their ids, the shadow call stack and the
// stopwatch counters.
//
// Who touches what:
// - The controlling thread (the user interface, the runner's main thread, a test, a debug
//   adapter) adds, removes and enables breakpoints through the API below, which keeps
//   BreakpointTable (the run loop's lookup) in step, and calls ArmDebugStops before it starts a
//   run. Arming copies everything the run needs into the worker's own tables, so the worker never
//   reads what the controlling thread edits.
// - The run loop reads DebugStopsArmed once per run. Only when it is set does it call
//   DebugStopBefore before each instruction (not before the first one). Data breakpoints are a
//   store observer (Observers.h), installed by arming while any is enabled.
// - The execution core records calls, interrupt entries and returns in the shadow call stack
//   (NoteCall, NoteInterruptEntry, NoteReturn), which is part of the machine value. Frames are
//   relaxed atomics, so a window may read them at any time; it reads them when a run or step has
//   ended.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Code.h"

// ---- One-shot stops ------------------------------------------------------------------------

// A stop that holds for one run only: the run stops before the next instruction (never before
// the first instruction of the run) whose address qualifies and where the stack test holds.
//
//   Step over a call:   anyAddress, Stack::Unwound with the frame the call pushes: the first
//                       instruction after that frame is gone, by RET/RETI or by SP dropping
//                       below it (a routine that pops its return address and jumps), wherever
//                       control lands. A recursive call returning to the same address, an
//                       interrupt returning with RETI, leave the frame in place.
//   Step out:           the same with the frame the PC is in (the innermost call or interrupt
//                       entry on the shadow call stack).
//   Run to an address:  addresses = {it}, Stack::Any.
//   Step one source line: addresses = the first addresses of every other line record,
//                       sameLineAddresses = those of the line itself, which qualify when the
//                       call depth differs from `depth` (the same line of another call, in
//                       recursion); entering calls with Stack::Any, stepping over them with
//                       Stack::AtMost and the SP at the start of the line.
struct OneShotStop {
    enum class Stack : uint8_t {
        Any,      // no stack test
        AtMost,   // SP <= stackLimit
        Below,    // SP < stackLimit
        Unwound,  // the frame whose SP after its push is stackLimit, `depth` frames deep, is gone
    };
    bool anyAddress = false;              // every address qualifies
    std::bitset<0x10000> addresses;       // otherwise the qualifying addresses
    std::bitset<0x10000> sameLineAddresses;  // qualifying only at another call depth
    Stack stack = Stack::Any;
    uint8_t stackLimit = 0;
    int depth = 0;
    // The test is made only right after a RET or RETI was executed (a routine's return, not the
    // POP of a register it saved).
    bool onlyAfterReturn = false;
};

// The one-shot stops of the debugger's commands, made from the machine state now:
// Step Over at the PC (a plain step unless the instruction there is ACALL or LCALL), Step Out
// of the routine the PC is in, Run to Cursor.
OneShotStop StepOverStop();
OneShotStop StepOutStop();
OneShotStop RunToStop(uint16_t address);
// The calls and interrupt entries still on the stack (the frames CallStackSnapshot lists).
int CallDepth();

// ---- Breakpoints ---------------------------------------------------------------------------

enum class WatchSpace : uint8_t {
    Iram,  // internal RAM 00h-FFh as @Ri reaches it (80h-FFh: the 8052's upper RAM); 00h-7Fh
           // also direct
    Sfr,   // special function register 80h-FFh
    Bit,   // bit address 00h-FFh (a store to its byte writes it)
    Xram,  // external RAM 0000h-FFFFh
};

enum class WatchMatch : uint8_t {
    AnyWrite,  // every store
    Equals,    // a store of `value` (a bit: of value 0 or 1)
    Changes,   // a store that changes the byte (a bit: the bit)
};

// What a data breakpoint watches. It reacts to every store an instruction makes there (also one
// that writes the byte it finds) and to a store of the hardware (a timer, a serial flag, the
// parity bit, a pin edge, an interrupt entry) only when that changes the byte; never to a
// user's edit.
struct DataBreakpoint {
    WatchSpace space = WatchSpace::Iram;
    uint16_t address = 0;
    WatchMatch match = WatchMatch::AnyWrite;
    uint8_t value = 0;
    bool enabled = true;
};

// A breakpoint of the one list that the Debugger window, the listing, the runner and the debug
// adapter share. Ids start at 1 and are never reused while the program runs; 0 means none.
struct Breakpoint {
    enum class Kind : uint8_t { Code, Data };
    int id = 0;
    Kind kind = Kind::Code;
    uint16_t address = 0;   // a code breakpoint's address
    DataBreakpoint data;    // a data breakpoint's place and condition
    bool enabled = true;
    // Where the user set it, for sessions and the adapter ("main.c:12", "fact"); may be empty.
    std::string label;
};

// A code breakpoint at `address`: the id of the one already there (enabled anew), else a new one.
int AddCodeBreakpoint(uint16_t address, const std::string& label = {});
int AddDataBreakpoint(const DataBreakpoint& watch, const std::string& label = {});
// Changes a data breakpoint's place and condition, keeping its id and enabled state.
bool ChangeDataBreakpoint(int id, const DataBreakpoint& watch);
bool RemoveBreakpoint(int id);
bool EnableBreakpoint(int id, bool enabled);
// Every breakpoint: code breakpoints by address, then data breakpoints in the order they were added.
std::vector<Breakpoint> ListBreakpoints();
std::vector<Breakpoint> ListBreakpoints(Breakpoint::Kind kind);
std::optional<Breakpoint> FindBreakpoint(int id);
// The code breakpoint at `address` (enabled or not), 0 for none.
int CodeBreakpointAt(uint16_t address);
// Removes every code breakpoint (a program load), every data breakpoint, or all.
void RemoveCodeBreakpoints();
void RemoveDataBreakpoints();
void RemoveAllBreakpoints();
// The breakpoint that stopped the last run (code or data), 0 when none did. Set by the run
// thread at the end of every run and step.
int StoppingBreakpoint();
void NoteStoppingBreakpoint(int id);

// The text of a data breakpoint's place ("IRAM 30h", "SFR 90h", "Bit 0Bh (21h.3)", "XRAM
// 1234h") and of its condition ("any write", "written as 55h", "value changes").
std::string WatchPlaceText(const DataBreakpoint& b);
std::string WatchConditionText(const DataBreakpoint& b);
// Parses "ADDR[:SPACE][=VALUE]" (hexadecimal, spaces iram, sfr, bit, xram; iram by default).
// Returns false with a message on bad input.
bool ParseWatchText(const std::string& text, DataBreakpoint* out, std::string* error);

// ---- Arming and the run loop's test --------------------------------------------------------

// Set when a run has anything to test before its instructions: a one-shot stop or an enabled
// data breakpoint.
extern Shared<uint8_t> DebugStopsArmed;

// Prepares the next run: the enabled data breakpoints, and `oneShot` (nullptr for none).
// Clears the previous run's stop information. Call before the run's thread starts.
void ArmDebugStops(const OneShotStop* oneShot);

enum class DebugStop : uint8_t { None, Reached, Watch };
// Called before an instruction at `pc` other than the first; `lastExecuted` is the address of
// the instruction executed last. Returns why the run stops there, or None.
DebugStop DebugStopBefore(uint16_t pc, uint16_t lastExecuted);

// What stopped the last run, read by the controlling thread after the run.
struct WatchHitInfo {
    bool hit = false;
    int id = 0;              // the data breakpoint's id
    uint16_t writer = 0;     // address of the instruction that wrote
    uint8_t value = 0;       // the byte stored
};
WatchHitInfo LastWatchHit();
// Forgets the last hit, when the list it refers to has changed.
void ForgetWatchHit();

// ---- Shadow call stack ----------------------------------------------------------------------

struct CallFrame {
    uint16_t site = 0;       // the call instruction, or the interrupted instruction
    uint16_t target = 0;     // the routine or the vector
    uint16_t returnAddress = 0;
    uint8_t sp = 0;          // SP after the return address was pushed
    bool interrupt = false;
};

// The calls and interrupt entries still on the stack, outermost first: frames whose return
// address lies above the current SP (a program that moved SP itself) are left out.
std::vector<CallFrame> CallStackSnapshot();
void ResetCallStack();

// Execution hooks, called right after the return address was pushed (calls, interrupt entry)
// or popped (RET, RETI). The call and the return are inline: a proper call or return costs one
// frame store or one compare, everything else goes through the out-of-line routines.
void NoteCall(uint16_t site, uint16_t target, uint16_t returnAddress);
void NoteInterruptEntry(uint16_t site, uint16_t vector);
void NoteReturn();

namespace call_stack {
// A frame packed into one word, so that a reader on another thread sees whole frames:
// site 0-15, target 16-31, return address 32-47, SP 48-55, interrupt 56. Frames[0, Depth) are
// the frames, outermost first, their SPs strictly rising. Both belong to the machine value.
inline constexpr auto& Frames = Machine.frames;
inline constexpr auto& Depth = Machine.depth;

inline uint64_t Pack(uint16_t site, uint16_t target, uint16_t returnAddress, uint8_t sp, bool interrupt) {
    return uint64_t(site) | uint64_t(target) << 16 | uint64_t(returnAddress) << 32 |
           uint64_t(sp) << 48 | uint64_t(interrupt ? 1 : 0) << 56;
}
inline int FrameSp(uint64_t frame) { return uint8_t(frame >> 48); }

// Drops the frames whose return address lies above `sp`.
[[gnu::noinline]] void Unwind(int sp);
// A push that must first drop frames, or that finds the stack full.
[[gnu::noinline]] void PushSlow(uint64_t frame);

inline void Push(uint64_t frame) {
    const int d = Depth;
    if (d == kMaxCallFrames || (d > 0 && FrameSp(Frames[d - 1]) > FrameSp(frame) - 2)) [[unlikely]] {
        PushSlow(frame);
        return;
    }
    Frames[d] = frame;
    Depth = d + 1;
}
}  // namespace call_stack

inline void NoteCall(uint16_t site, uint16_t target, uint16_t returnAddress) {
    call_stack::Push(call_stack::Pack(site, target, returnAddress, InternalRam[Sfr::SP], false));
}

inline void NoteReturn() {
    // A proper return drops the top frame and leaves the one below it in place.
    const int sp = InternalRam[Sfr::SP];
    const int d = call_stack::Depth;
    if (d == 0 || call_stack::FrameSp(call_stack::Frames[d - 1]) <= sp) return;
    if (d > 1 && call_stack::FrameSp(call_stack::Frames[d - 2]) > sp) [[unlikely]] {
        call_stack::Unwind(sp);
        return;
    }
    call_stack::Depth = d - 1;
}

// ---- Stopwatch -----------------------------------------------------------------------------

// Machine cycles since Reset, of the last run or step, and since the user zeroed the stopwatch
// (part of the machine value).
inline constexpr auto& CyclesSinceReset = Machine.cyclesSinceReset;
inline constexpr auto& CyclesLastRun = Machine.cyclesLastRun;
inline constexpr auto& CyclesSinceZero = Machine.cyclesSinceZero;
// Adds a finished run's or step's cycles.
void NoteRunCycles(uint64_t cycles);
// Reset: all three counters to zero, and an empty call stack.
void ResetDebugCounters();
