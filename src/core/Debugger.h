// Debugger stop conditions beyond code breakpoints (one-shot stops, stack-depth tests, data
// breakpoints), the shadow call stack and the stopwatch counters.
//
// Who touches what:
// - The controlling thread (the user interface, the runner's main thread, a test) edits
//   DataBreakpoints and calls ArmDebugStops before it starts a run, never during one. Arming
//   copies everything the run needs into the worker's own tables, so the worker never reads
//   what the user interface edits.
// - The run loop reads DebugStopsArmed once per run. Only when it is set does it call
//   DebugStopBefore before each instruction (not before the first one) and, while data
//   breakpoints are armed, keep the store routines on their slow path (DataWatchArmed), where
//   NoteWatchedStore looks at each worker store. With nothing armed neither costs anything.
// - The execution core records calls, interrupt entries and returns in the shadow call stack
//   (NoteCall, NoteInterruptEntry, NoteReturn). Frames are relaxed atomics, so a window may read
//   them at any time; it reads them when a run or step has ended.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "Code.h"

// ---- One-shot stops ------------------------------------------------------------------------

// A stop that holds for one run only: the run stops before the next instruction (never before
// the first instruction of the run) whose address qualifies and where the stack test holds.
//
//   Step over a call:   addresses = {address after the call}, Stack::AtMost, limit = SP before
//                       the call (a recursive call returning to the same address has SP higher).
//   Step out:           anyAddress, Stack::Below, limit = SP at the start, onlyAfterReturn.
//   Run to an address:  addresses = {it}, Stack::Any.
//   Step one source line: addresses = the first addresses of every other line record; entering
//                       calls with Stack::Any, stepping over them with Stack::AtMost and the SP
//                       at the start of the line.
struct OneShotStop {
    enum class Stack : uint8_t {
        Any,     // no stack test
        AtMost,  // SP <= stackLimit
        Below,   // SP < stackLimit
    };
    bool anyAddress = false;           // every address qualifies
    std::bitset<0x10000> addresses;    // otherwise the qualifying addresses
    Stack stack = Stack::Any;
    uint8_t stackLimit = 0;
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

// ---- Data breakpoints ----------------------------------------------------------------------

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

struct DataBreakpoint {
    WatchSpace space = WatchSpace::Iram;
    uint16_t address = 0;
    WatchMatch match = WatchMatch::AnyWrite;
    uint8_t value = 0;
    bool enabled = true;
};

// The user's data breakpoints, edited by the controlling thread between runs.
extern std::vector<DataBreakpoint> DataBreakpoints;

// The text of a breakpoint's place ("IRAM 30h", "SFR 90h", "Bit 0Bh (21h.3)", "XRAM 1234h") and
// of its condition ("any write", "written as 55h", "value changes").
std::string WatchPlaceText(const DataBreakpoint& b);
std::string WatchConditionText(const DataBreakpoint& b);
// Parses "ADDR[:SPACE][=VALUE]" (hexadecimal, spaces iram, sfr, bit, xram; iram by default).
// Returns false with a message on bad input.
bool ParseWatchText(const std::string& text, DataBreakpoint* out, std::string* error);

// ---- Arming and the run loop's test --------------------------------------------------------

// Set when a run has anything to test: a one-shot stop or an enabled data breakpoint.
extern Shared<uint8_t> DebugStopsArmed;
// Set while enabled data breakpoints exist: worker stores take the path that calls
// NoteWatchedStore; the run loop keeps ScreenUpdateCountdown at 0 and says through
// ScreenRefreshDue whether the windows are due for refreshes.
extern Shared<uint8_t> DataWatchArmed;
// Whether window refreshes are due while DataWatchArmed holds the countdown at 0 (1 otherwise).
extern Shared<uint8_t> ScreenRefreshDue;

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
    int index = -1;          // into DataBreakpoints as armed
    uint16_t writer = 0;     // address of the instruction that wrote
    uint8_t value = 0;       // the byte stored
};
WatchHitInfo LastWatchHit();
// Forgets the last hit, when the list it refers to has changed.
void ForgetWatchHit();

// The store routines' call for a worker store while DataWatchArmed is set; `index` is the
// InternalRam index. NoteWatchedExternalStore likewise for external RAM.
void NoteWatchedStore(uint16_t index, uint8_t value, uint8_t old);
void NoteWatchedExternalStore(uint16_t address, uint8_t value, uint8_t old);

// ---- Shadow call stack ----------------------------------------------------------------------

struct CallFrame {
    uint16_t site = 0;       // the call instruction, or the interrupted instruction
    uint16_t target = 0;     // the routine or the vector
    uint16_t returnAddress = 0;
    uint8_t sp = 0;          // SP after the return address was pushed
    bool interrupt = false;
};

constexpr int kMaxCallFrames = 128;

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
// the frames, outermost first, their SPs strictly rising.
extern Shared<uint64_t> Frames[kMaxCallFrames];
extern Shared<int32_t> Depth;

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

// Machine cycles since Reset, of the last run or step, and since the user zeroed the stopwatch.
extern Shared<uint64_t> CyclesSinceReset;
extern Shared<uint64_t> CyclesLastRun;
extern Shared<uint64_t> CyclesSinceZero;
// Adds a finished run's or step's cycles.
void NoteRunCycles(uint64_t cycles);
// Reset: all three counters to zero, and an empty call stack.
void ResetDebugCounters();
