// History: any earlier instant of the run rebuilt exactly, from periodic checkpoints of the machine
// value and the log of every input, and the debugger's commands that move backwards on it.
//
// The simulated controller is deterministic: given the machine at one instant and every input
// from outside the program after it (Inputs.h: received bytes, pin and key changes, edits, Set PC,
// Reset, each stamped with the instruction count at which it took effect), the run that follows is
// always the same. So history keeps only two things: a checkpoint (a copy of the whole machine
// value) every kCheckpointInterval instructions, and the input log. The machine at instruction
// count K is rebuilt by restoring the last checkpoint at or before K and replaying forward to K,
// with no window refreshes, no bytes sent to the terminal again and no observer told; nothing is
// recorded per instruction. Searching backwards (reverse continue, the last write of a byte) replays
// the segments between checkpoints from the newest to the oldest, remembering the last point where
// the search's stops hold, then goes there.
//
// An instant is an instruction count K: the machine after K instructions and after the inputs
// applied between the K-th instruction and the next step (an edit made while stopped there), but
// before those the next step applies itself (a byte the serial line delivers, inputs queued during
// a run). At the present every input applied so far is in.
//
// The machine is "in the past" after a move back: the recorded future lies ahead, and a run or
// single step replays it (with the stops of a forward run) up to the present, then goes on live.
// An input applied in the past (a change the user makes there) discards the recorded future after
// that instant: the present becomes that instant.
//
// Memory is bounded by the budget (SetHistoryBudget): checkpoints share the pages of the machine
// value that did not change since the checkpoint before (code memory and most of external RAM
// usually), and when the budget is full the oldest checkpoints go, with the inputs before them.
//
// Threads: everything but CurrentHistoryExtent and HistoryInPast belongs to the thread that owns
// the machine (the simulation thread during a run; the controlling thread otherwise), as the machine
// does. The moves are made with no run in progress, by a thread that owns the machine for them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Code.h"
#include "Debugger.h"
#include "Inputs.h"

// ---- Recording -------------------------------------------------------------------------------

// The desktop program's and the runner's default budget, in megabytes (HistoryMB, --history-mb).
constexpr std::size_t kDefaultHistoryMB = 256;
// Instructions from one checkpoint to the next: the most a move replays.
constexpr uint64_t kCheckpointInterval = uint64_t(1) << 17;

// The memory history may use, in bytes; 0 switches it off (the core's default). A change forgets
// what was recorded and starts again at the machine as it is.
void SetHistoryBudget(std::size_t bytes);
std::size_t HistoryBudget();
// Forgets what was recorded; the machine as it is becomes history's beginning. Call after changing
// the machine outside the input log: loading a program, Close File, a processor switch (replay
// depends on it), RestoreMachine of a copy from elsewhere.
void HistoryRestart();

// Told of every input ApplyInput applies (Inputs.cpp). Returns false for the inputs history
// replays itself, which no one else is told of. An input applied in the past discards the
// recorded future first.
bool HistoryInputApplied(const MachineInput& input);

namespace history {
// The instruction count at which the next checkpoint is due; never while history is off.
extern uint64_t NextCheckpoint;
}  // namespace history
[[gnu::noinline]] void TakeHistoryCheckpoint();
// After every step of a run or single step: one compare.
inline void HistoryAfterStep() {
    if (Machine.instructions >= history::NextCheckpoint) [[unlikely]] TakeHistoryCheckpoint();
}

// ---- Where the machine is --------------------------------------------------------------------

struct HistoryExtent {
    bool enabled = false;
    bool inPast = false;
    uint64_t oldest = 0;    // the earliest instruction count history rebuilds
    uint64_t position = 0;  // the machine's instruction count
    uint64_t present = 0;   // the latest recorded (the position unless in the past)
    uint64_t oldestCycles = 0, positionCycles = 0, presentCycles = 0;  // the machine's cycle totals there
    std::size_t bytes = 0;  // the memory in use
};
// Any thread: as of the last checkpoint, move or end of a run or step.
HistoryExtent CurrentHistoryExtent();
bool HistoryInPast();
// The end of a run or step: the extent others read follows the machine (the run thread calls it).
void HistoryNoteStop();

// ---- Moving ----------------------------------------------------------------------------------
// Each move may be cancelled through `cancel` (a thread's stop request): it then stops at the
// instant it has reached and returns false.

// Rebuilds the machine at instruction count `instructions`, oldest <= it <= present. False when
// out of reach (the machine stays as it was) or cancelled.
bool HistoryGoTo(uint64_t instructions, const std::atomic<bool>* cancel = nullptr);
// `count` instructions back, as far as history reaches; returns how many it went.
uint64_t HistoryStepBack(uint64_t count = 1, const std::atomic<bool>* cancel = nullptr);

// What stops a search: the code breakpoints that are enabled (BreakpointTable 1), data
// breakpoints by their rules (Debugger.h), a one-shot stop.
struct HistoryStops {
    bool codeBreakpoints = false;
    std::vector<Breakpoint> watches;  // data breakpoints (`data`, `id`)
    const OneShotStop* oneShot = nullptr;
};
// The enabled code and data breakpoints of the list: what would stop a forward run.
HistoryStops BreakpointHistoryStops();

// Where a search stopped, where a forward run would have stopped.
struct HistoryHit {
    enum class Kind : uint8_t {
        None,        // nothing found (the search reached the oldest history, a run the present)
        Breakpoint,  // a code breakpoint at `pc`
        Watch,       // a data breakpoint: `pc` wrote `value`; the instant is right after it
        Reached,     // the one-shot stop, at `pc`
        End,         // a forward run passed the program's end
        Stopped,     // cancelled
    };
    Kind kind = Kind::None;
    uint64_t instructions = 0;  // the instant
    uint64_t cycles = 0;        // the machine's cycle total there
    uint16_t pc = 0;
    int breakpointId = 0;
    uint8_t value = 0;
};

// Reverse continue: the latest instant before the machine's where `stops` would have stopped a
// forward run, and the machine goes there; with none it goes to the oldest history (kind None).
HistoryHit HistoryReverseContinue(const HistoryStops& stops, const std::atomic<bool>* cancel = nullptr);
// The last store to any of `targets` (by the data breakpoint rules) before the machine's state,
// the last instruction's included; the machine stays where it is. Kind Watch with the instant right
// after the writing instruction, or None.
HistoryHit HistoryLastWrite(const std::vector<DataBreakpoint>& targets, const std::atomic<bool>* cancel = nullptr);

// A run in the past: replays the recorded future from the machine's instant with the stops of a
// forward run (the program's end, enabled code breakpoints, the armed debugger stops; never at
// the first instruction), telling every observer as a run does. Returns the stop, or None when it
// reached the present (the run goes on live from there).
HistoryHit HistoryRunForward(const std::atomic<bool>* cancel = nullptr);
