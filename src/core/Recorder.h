// The execution recorder: per-address starts and cycles, conditional jumps taken, call edges with
// inclusive cycles, and a ring of the last instructions; the one source of coverage, the cycle
// profile and the trace.
//
// Who touches what:
// - The controlling thread (the user interface, the runner, a test) calls Enable, Disable and
//   Clear while no run is in progress. Enable allocates everything the recorder will ever need
//   and installs the recorder as a step observer (Observers.h); Disable removes it. Recording
//   itself never allocates or locks.
// - The run loop sees the step observer once per run and then, like Single Step, reports every
//   step to it: the instruction executed and the cycles the step took (an interrupt entry's 2
//   with the vector's first instruction). With the recorder off the run loop is the one without
//   observers.
// - Readers (the windows at the display's pace, the writers at the end of a run) may read at any
//   time: every counter is a relaxed atomic with the worker as its one writer, so a reader sees
//   whole numbers that are at most a few instructions old.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "Code.h"
#include "Debugger.h"
#include "Observers.h"

constexpr size_t kDefaultTraceLength = 100000;

// One executed instruction as the trace keeps it: the registers after it ran.
struct TraceEntry {
    uint16_t address = 0;
    uint64_t cycle = 0;  // recorded machine cycles once the instruction had run
    uint8_t a = 0, psw = 0, sp = 0;
    uint16_t dptr = 0;
};

// A call instruction (or an interrupted instruction) and the routine (or vector) it entered.
// Inclusive cycles and instructions run from the first cycle inside the routine to its return;
// a routine still running when read counts up to now. Recursive calls of one edge each add
// their own activation, as a callgrind profile expects.
struct CallEdge {
    uint16_t site = 0, target = 0;
    bool interrupt = false;
    uint64_t calls = 0, cycles = 0, instructions = 0;
};

// Whether the opcode is a conditional jump (JC, JNC, JZ, JNZ, JB, JNB, JBC, CJNE, DJNZ).
bool IsConditionalJump(uint8_t opcode);

class ExecutionRecorder final : public StepObserver {
public:
    ExecutionRecorder();
    ~ExecutionRecorder() override;
    ExecutionRecorder(const ExecutionRecorder&) = delete;
    ExecutionRecorder& operator=(const ExecutionRecorder&) = delete;

    // ---- Controlling thread, no run in progress ----
    // Switches recording on with a trace of the last `traceLength` instructions (0: no trace).
    // What was recorded before stays unless the trace length changes, which empties the trace.
    // False, with recording left off, when every step observer place is taken.
    bool Enable(size_t traceLength = kDefaultTraceLength);
    // Switches recording off (the step observer goes); the results stay readable.
    void Disable();
    // Forgets every result (recording stays on or off).
    void Clear();
    bool Enabled() const { return enabled_.load(std::memory_order_relaxed); }
    // True once anything was recorded since the last Clear.
    bool HasData() const { return TotalInstructions() > 0; }

    // ---- The worker, after every step ----
    // The step observer: every step of a run and every Single Step while recording is on.
    void Stepped(const StepInfo& step) override { OnStep(step.executed, step.cycles, step.opcode); }
    // `executed` is the instruction's address (the vector when the step entered an interrupt),
    // `cycles` the machine cycles the step took, `opcode` the instruction there. Reads
    // ProgramCounter (the next address), the registers and the shadow call stack as the step left
    // them.
    inline void OnStep(uint16_t executed, uint32_t cycles, uint8_t opcode);

    // ---- Readers, any thread ----
    // (All 0 before the first Enable.)
    uint64_t Starts(uint16_t address) const { return counts_ ? Load(counts_[2 * address]) : 0; }
    uint64_t Cycles(uint16_t address) const { return counts_ ? Load(counts_[2 * address + 1]) : 0; }
    // How often the conditional jump at `address` jumped; it fell through Starts - Taken times.
    uint64_t Taken(uint16_t address) const { return taken_ ? Load(taken_[address]) : 0; }
    uint64_t TotalCycles() const { return Load(totalCycles_); }
    uint64_t TotalInstructions() const { return Load(totalInstructions_); }
    // Inclusive cycles and instructions of the outermost activations of the routine that starts
    // at `entry` (recursion counted once), and how many calls and interrupt entries reached it.
    struct EntryTotals {
        uint64_t calls = 0, cycles = 0, instructions = 0;
    };
    EntryTotals Entry(uint16_t entry) const;
    std::vector<CallEdge> Edges() const;
    // Edges dropped because the edge table was full (a program that is interrupted at more
    // than 65,000 different places).
    uint64_t LostEdges() const { return Load(lostEdges_); }
    // The last instructions, oldest first.
    std::vector<TraceEntry> Trace() const;
    size_t TraceLength() const { return traceLength_; }

private:
    static uint64_t Load(const std::atomic<uint64_t>& x) { return x.load(std::memory_order_relaxed); }
    static void Add(std::atomic<uint64_t>& x, uint64_t v) {
        x.store(x.load(std::memory_order_relaxed) + v, std::memory_order_relaxed);
    }
    static void Put(std::atomic<uint64_t>& x, uint64_t v) { x.store(v, std::memory_order_relaxed); }

    // Brings the recorder's own copy of the call stack in line with the shadow call stack:
    // frames gone are returns (their inclusive cost is credited), frames new are calls.
    // Without `counting` (Enable, Clear) new frames are taken over without counting a call.
    [[gnu::noinline]] void FollowCalls(uint64_t cyclesBefore, uint64_t instructionsBefore, bool counting = true);
    int EdgeSlot(uint16_t site, uint16_t target, bool interrupt);
    void Credit(int frame);

    // The recorder's copy of one shadow call stack frame. Readers look at the frames to count
    // routines still running up to now, so every field is a relaxed atomic too.
    struct Frame {
        std::atomic<uint64_t> word{0};  // the shadow call stack's packed frame
        std::atomic<int32_t> edge{-1};  // edge slot, -1 when the table was full
        std::atomic<bool> outermost{false};
        std::atomic<uint64_t> cycles{0}, instructions{0};  // totals when the routine was entered
    };

    static constexpr size_t kEdgeSlots = 1 << 16;
    std::atomic<bool> enabled_{false};
    // [2a] starts, [2a+1] cycles of code address a.
    std::unique_ptr<std::atomic<uint64_t>[]> counts_;
    std::unique_ptr<std::atomic<uint64_t>[]> taken_;
    // Per edge slot: key (site | target << 16 | interrupt << 32 | used << 33), calls, cycles,
    // instructions.
    std::unique_ptr<std::atomic<uint64_t>[]> edges_;
    // Per entry address: calls, inclusive cycles and instructions of outermost activations.
    std::unique_ptr<std::atomic<uint64_t>[]> entries_;
    std::unique_ptr<uint16_t[]> active_;  // activations of each entry on the stack (worker only)
    // The ring: two words per entry (cycle; address | A | PSW | SP | DPTR | valid).
    std::unique_ptr<std::atomic<uint64_t>[]> ring_;
    size_t traceLength_ = 0;
    size_t ringNext_ = 0;  // worker only
    std::atomic<uint64_t> ringWritten_{0};
    std::atomic<uint64_t> totalCycles_{0}, totalInstructions_{0}, lostEdges_{0};
    Frame frames_[kMaxCallFrames];
    std::atomic<int> depth_{0};
    uint64_t top_ = 0;  // frames_[depth_ - 1].word, or 0 (worker only)
    uint8_t conditional_[256] = {};
};

// The process-wide recorder that the run loop, the windows and the runner share.
extern ExecutionRecorder Recorder;

inline void ExecutionRecorder::OnStep(uint16_t executed, uint32_t cycles, uint8_t op) {
    const uint64_t cyclesBefore = Load(totalCycles_), instructionsBefore = Load(totalInstructions_);
    const uint64_t now = cyclesBefore + cycles;
    std::atomic<uint64_t>* const count = &counts_[2 * executed];
    Add(count[0], 1);
    Add(count[1], cycles);
    Put(totalCycles_, now);
    Put(totalInstructions_, instructionsBefore + 1);
    if (conditional_[op]) {
        if (ProgramCounter != uint16_t(executed + InstructionLength[op])) Add(taken_[executed], 1);
    }
    const int d = call_stack::Depth;
    if (d != depth_.load(std::memory_order_relaxed) || (d > 0 && call_stack::Frames[d - 1] != top_)) [[unlikely]]
        FollowCalls(cyclesBefore, instructionsBefore);
    if (traceLength_ == 0) return;
    std::atomic<uint64_t>* slot = &ring_[2 * ringNext_];
    Put(slot[0], now);
    Put(slot[1], uint64_t(executed) | uint64_t(InternalRam[Sfr::ACC]) << 16 |
                     uint64_t(InternalRam[Sfr::PSW]) << 24 | uint64_t(InternalRam[Sfr::SP]) << 32 |
                     uint64_t(InternalRam[Sfr::DPL]) << 40 | uint64_t(InternalRam[Sfr::DPH]) << 48 |
                     uint64_t(1) << 56);
    if (++ringNext_ == traceLength_) ringNext_ = 0;
    Put(ringWritten_, Load(ringWritten_) + 1);
}
