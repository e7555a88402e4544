// Signal recording for the logic analyzer: the pins, bits, bytes and variables a user follows,
// every change of their values stamped with the machine cycle, a bounded store that drops the
// oldest changes first, and the VCD file that GTKWave reads.
//
// How to use it: give a SignalRecorder the signals (SetSignals) and call Begin(cycle). A run or a
// step that holds a SignalArming for the recorder hangs it on the core's observers (Observers.h,
// Inputs.h): the step observer samples after every instruction, stamped with the machine cycles
// run so far and the address of the instruction; the input observer samples where a change from
// outside the program (a pin click, a byte edit, a received byte) took effect, between two
// instructions and with no writer; an interrupt entry is sampled on its own, two cycles after the
// instruction before it, with the vector as its writer. When a value of several bytes is chosen
// the store observer is armed as well and tells the recorder of every store an instruction makes
// into it (NoteWrite), so the value is taken once all its bytes have been written, never the
// half-written one. A sample compares only the bytes the signals read (one compare per byte or
// port), so with the 32 port pins chosen it costs four loads and one compare per instruction.
// Between runs the window samples the edits made meanwhile itself (SampleBetween).
//
// The recorder runs on one thread at a time (the one that owns the machine). Another thread reads
// what it wrote through a SignalHistory, which copies the changes into per-signal arrays for
// drawing and for the VCD writer. The recorder's ring holds the newest changes; when it is full the
// oldest are overwritten, and the history says how many were dropped and from which cycle on it is
// complete.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Code.h"
#include "Inputs.h"
#include "Observers.h"

// Where a signal takes its value from.
enum class SignalSpace : uint8_t {
    Pins,      // the pin levels of a port: address is the port's SFR address (80h, 90h, A0h, B0h)
    Direct,    // InternalRam index 00h-17Fh (RAM, special function registers, the 8052's upper RAM)
    External,  // external RAM
};

struct SignalSource {
    SignalSpace space = SignalSpace::Direct;
    uint16_t address = 0;
    int8_t bit = -1;     // 0-7: one bit of the byte at `address`; -1: the whole value
    uint8_t bytes = 1;   // whole values: 1-8 bytes from `address` on, least significant first
    bool operator==(const SignalSource&) const = default;
};

struct SignalDef {
    std::string name;  // as the user chose it: "P1.3", "TF0", "TL0", "total"
    SignalSource source;
    bool IsBit() const { return source.bit >= 0; }
    unsigned Width() const { return IsBit() ? 1u : 8u * source.bytes; }
};

// The `writer` of a change that no instruction made: the initial value, a change from outside.
constexpr int32_t kFromOutside = -1;

struct SignalChange {
    uint64_t cycle = 0;   // machine cycles run when the change had taken effect
    uint64_t value = 0;
    int32_t writer = kFromOutside;  // code address of the instruction that made it
};

class SignalRecorder;
// The signals of the Logic Analyzer window and of the runner's --vcd: empty (and costing nothing)
// until signals are chosen.
extern SignalRecorder LogicSignals;

// The present value of a source, read without side effects (pins: the port's pin levels).
uint64_t ReadSignalSource(const SignalSource& s);

// ---- The recording side ------------------------------------------------------------------------

class SignalRecorder {
public:
    // About 24 MB of changes in the ring, and as much again in a history that copies them.
    static constexpr std::size_t kDefaultCapacity = std::size_t(1) << 20;

    explicit SignalRecorder(std::size_t capacity = kDefaultCapacity);
    SignalRecorder(const SignalRecorder&) = delete;
    SignalRecorder& operator=(const SignalRecorder&) = delete;

    // Between runs only. Replaces the signals and forgets every change (Begin starts recording).
    void SetSignals(std::vector<SignalDef> defs);
    const std::vector<SignalDef>& Signals() const { return defs_; }
    void SetCapacity(std::size_t changes);
    std::size_t Capacity() const { return capacity_; }
    bool Empty() const { return defs_.empty(); }
    // Whether a signal follows a value of several bytes (SignalArming then arms the store observer).
    bool HasValuesOfSeveralBytes() const { return hasMulti_; }
    // Whether NoteWrite is called for every instruction store (SignalArming says so while the
    // store observer is armed); without it a value of several bytes is taken at every change like
    // any other. Turned off, a write left incomplete (a run stopped between its bytes) is taken
    // where it took effect.
    void SetWritesNoted(bool noted);

    // Forgets the changes and takes every signal's present value as its initial value at `cycle`.
    void Begin(uint64_t cycle);
    // After an instruction: takes the values that changed since the last sample; `writer` made
    // them.
    [[gnu::always_inline]] void Sample(uint64_t cycle, int32_t writer) {
        if (PortWord() != hotWord_) [[unlikely]] HotChanged(PortWord(), cycle, writer);
        if (hasSlow_) [[unlikely]] SampleSlow(cycle, writer, true);
        lastCycle_.store(cycle, std::memory_order_relaxed);
    }
    // Between two instructions: takes what an input, an interrupt entry or an edit between runs
    // changed. It does not count as an instruction for the values of several bytes.
    void SampleBetween(uint64_t cycle, int32_t writer);
    // The four ports P0-P3 in one word, P0 in the low byte: the pins of every port that signals
    // follow are compared with one load each and one compare in all.
    [[gnu::always_inline]] static uint32_t PortWord() {
        return uint32_t(PortPins(0)) | uint32_t(PortPins(1)) << 8 | uint32_t(PortPins(2)) << 16 |
               uint32_t(PortPins(3)) << 24;
    }
    // Says that the machine has run to `cycle` with nothing changed (the window draws up to it).
    void Publish(uint64_t cycle) { lastCycle_.store(cycle, std::memory_order_relaxed); }

    // An instruction stored into `index` of `space` (Direct or External). Cheap for other bytes.
    void NoteWrite(SignalSpace space, uint16_t index);

    // Reading side (any thread).
    uint64_t Written() const { return written_.load(std::memory_order_acquire); }
    uint64_t LastCycle() const { return lastCycle_.load(std::memory_order_relaxed); }
    uint64_t BeginCycle() const { return beginCycle_.load(std::memory_order_relaxed); }
    // Generation, raised by every Begin and SetSignals: a history that sees a new one starts over.
    uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }

private:
    friend class SignalHistory;
    // One change: cycle, value, and who (writer in the low 32 bits, signal in the high 32), each
    // word read and written as a relaxed atomic. The ring is allocated zeroed by the system, so
    // its pages cost memory only once changes fill them.
    struct SlotFree {
        void operator()(uint64_t* p) const;
    };
    static uint64_t Load(const uint64_t& w) { return std::atomic_ref<uint64_t>(const_cast<uint64_t&>(w)).load(std::memory_order_relaxed); }
    static void Store(uint64_t& w, uint64_t v) { std::atomic_ref<uint64_t>(w).store(v, std::memory_order_relaxed); }
    void Allocate();
    struct Group {
        SignalSpace space;
        uint16_t address;
        bool multi;          // a value of several bytes
        bool hot;            // sampled through the hot arrays
        uint8_t bytes;
        uint64_t last;       // the bytes as last sampled
        uint32_t first, count;  // its signals: order_[first .. first+count)
        // Values of several bytes with writes noted: which bytes were written since the value
        // was last taken, and when the last of those writes took effect.
        uint8_t writtenMask = 0;
        bool wroteThisStep = false;
        uint64_t lastWriteCycle = 0, lastWriteSample = 0;
        int32_t lastWriter = kFromOutside;
    };

    void HotChanged(uint32_t now, uint64_t cycle, int32_t writer);
    void ByteChanged(Group& g, uint8_t now, uint64_t cycle, int32_t writer);
    void SampleSlow(uint64_t cycle, int32_t writer, bool instruction);
    void TakeGroup(Group& g, uint64_t raw, uint64_t cycle, int32_t writer);
    void Append(uint32_t signal, uint64_t cycle, uint64_t value, int32_t writer);

    std::vector<SignalDef> defs_;
    std::vector<Group> groups_;
    std::vector<uint32_t> order_;      // signal indexes grouped by source
    std::vector<uint64_t> current_;    // each signal's last recorded value
    std::unique_ptr<std::atomic<uint64_t>[]> base_;  // each signal's value before its oldest kept change
    // The groups of the four ports' pins (kNoGroup where no signal follows a port), sampled
    // through PortWord; every other group goes through SampleSlow.
    static constexpr uint32_t kNoGroup = ~uint32_t(0);
    uint32_t hotWord_ = 0;
    uint32_t hotGroup_[4] = {kNoGroup, kNoGroup, kNoGroup, kNoGroup};
    bool hasSlow_ = false, hasMulti_ = false;
    bool writesNoted_ = false;
    uint64_t samples_ = 0;  // instructions sampled since Begin
    std::size_t capacity_;
    std::unique_ptr<uint64_t[], SlotFree> ring_;  // 3 words per change
    std::atomic<uint64_t> claimed_{0}, written_{0}, lastCycle_{0}, beginCycle_{0}, generation_{0};
    std::atomic<uint64_t> droppedUpTo_{0};  // cycle of the newest change overwritten
};

// The recorder's hands on the observers. One for the process (LogicProbe): one run or step at a
// time arms it, and it outlives every run, so an observer list can never hold a dead one. A run
// loop whose only step observer it is calls Stepped directly, inlined.
class SignalProbe final : public StepObserver, public StoreObserver, public InputObserver {
public:
    SignalRecorder* recorder = nullptr;
    // The recorder's cycle is the machine's total plus this (wrapping), fixed at arming.
    uint64_t offset = 0;

    uint64_t Now() const { return Machine.cycles + offset; }
    void Stepped(const StepInfo& step) override { recorder->Sample(Now(), step.executed); }
    // The step has not counted its cycles yet: the entry ends two cycles after the instruction
    // before it, and its stores are the hardware LCALL's to the vector.
    void Entered(const StepInfo& entry) override { recorder->SampleBetween(Now() + entry.cycles, entry.executed); }
    // Inputs are applied before the step's own work: at the cycle the instruction before ended.
    void InputApplied(const MachineInput&) override { recorder->SampleBetween(Now(), kFromOutside); }
    void Stored(StoreSpace space, uint16_t index, uint8_t, uint8_t, StoreBy by) override {
        if (by == StoreBy::Instruction)
            recorder->NoteWrite(space == StoreSpace::External ? SignalSpace::External : SignalSpace::Direct, index);
    }
};
extern SignalProbe LogicProbe;

// ---- Arming -------------------------------------------------------------------------------------

// Hangs a recorder on the core's observers for one run or one step, for as long as it lives: the
// step observer (after every instruction and at an interrupt entry), the input observer, and the
// store observer when a value of several bytes is chosen. The thread that owns the machine holds it
// around its run loop, which then runs in its Armed form; with no signal chosen it does nothing,
// and the run costs what it costs without a recorder. Taking it samples once more what changed
// since the last sample (edits made between runs, with no writer); the recorder's time goes on
// from its LastCycle() with the machine cycles the run adds.
class SignalArming {
public:
    explicit SignalArming(SignalRecorder& recorder);
    ~SignalArming();
    SignalArming(const SignalArming&) = delete;
    SignalArming& operator=(const SignalArming&) = delete;
    // False when the recorder has no signals or the observers had no place left.
    bool Armed() const { return armed_; }

private:
    bool armed_ = false;
};

// ---- The reading side --------------------------------------------------------------------------

// The recorded changes of every signal, copied out of a recorder by Update (any thread, one
// history per reader). Bounded like the recorder: the oldest changes are dropped first.
class SignalHistory {
public:
    // Takes what the recorder wrote since the last call; returns whether anything changed.
    bool Update(const SignalRecorder& recorder);
    // Starts over: no signals, nothing recorded.
    void Clear();

    std::size_t SignalCount() const { return defs_.size(); }
    const SignalDef& Def(std::size_t i) const { return defs_[i]; }
    const std::vector<SignalDef>& Defs() const { return defs_; }
    // Changes of signal i in time order; the first is its value at FirstCycle().
    const std::vector<SignalChange>& Changes(std::size_t i) const { return changes_[i]; }
    // The history is complete from this cycle on (the start, or the oldest kept change).
    uint64_t FirstCycle() const { return firstCycle_; }
    // The last cycle sampled.
    uint64_t LastCycle() const { return lastCycle_; }
    // How many changes were dropped to keep within the capacity.
    uint64_t Dropped() const { return dropped_; }
    std::size_t ChangeCount() const { return total_; }
    // Index into Changes(i) of the change in effect at `cycle` (0 before the first).
    std::size_t IndexAt(std::size_t i, uint64_t cycle) const;
    uint64_t ValueAt(std::size_t i, uint64_t cycle) const { return changes_[i][IndexAt(i, cycle)].value; }

private:
    void Restart(const SignalRecorder& r);
    void Add(uint32_t signal, const SignalChange& c);
    void Trim();

    std::vector<SignalDef> defs_;
    std::vector<std::vector<SignalChange>> changes_;
    uint64_t generation_ = ~uint64_t(0);
    uint64_t read_ = 0;  // recorder entries taken so far
    uint64_t firstCycle_ = 0, lastCycle_ = 0, dropped_ = 0;
    std::size_t total_ = 0, capacity_ = SignalRecorder::kDefaultCapacity;
};

// ---- VCD ---------------------------------------------------------------------------------------

// Nanoseconds of controller time at machine cycle c: round(c * 12 * 10^9 / clock).
uint64_t CycleToNanoseconds(uint64_t cycle, uint32_t clockHz);

// Writes the history as a VCD file: "$timescale 1 ns", one "$var wire 1" per bit signal and one
// "$var wire N" per byte or variable (N its width), named as the user chose them inside one
// scope, the values at FirstCycle() under "$dumpvars", then every change in time order.
void WriteVcd(const SignalHistory& history, uint32_t clockHz, std::ostream& out);
