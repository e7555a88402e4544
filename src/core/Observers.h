// Observers of stores and of steps: the hooks that data breakpoints, latching displays, analysis
// (coverage, profile, trace ring), signal recording and history hang on, apart from the windows'
// refresh countdown.
//
// An observer is an object with one virtual routine, added by the controlling thread (the user
// interface, the runner's main thread, a test). The run loop looks once per run whether any is
// installed: with none it is exactly the loop without observers; with a store observer it runs the
// watched step for every instruction; with a step observer it calls it after every step (and at
// an interrupt entry within a step). An
// observer added during a run is called from then on by the watched stores only (every store while
// no run is in progress). Observers are called on the thread that stores or steps, must not
// allocate or lock in the run's hot path (count into preallocated arrays), and must outlive every
// run that may call them: remove one between runs, or keep it alive for the whole program.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "Code.h"

enum class StoreSpace : uint8_t {
    Internal,  // an InternalRam index (00h-17Fh)
    External,  // an external RAM address
};

// Who made a store: an instruction (also one that writes the byte it finds), the controller's
// hardware (timers, serial flags, the parity bit, pin edges, interrupt entry and level requests;
// reported also when they leave the byte as it was), or the user (an input from outside the
// program: an edit, a received byte, Reset).
enum class StoreBy : uint8_t { Instruction, Hardware, User };

class StoreObserver {
public:
    virtual ~StoreObserver() = default;
    // Right after the byte took `value`; `old` is what it held.
    virtual void Stored(StoreSpace space, uint16_t index, uint8_t value, uint8_t old, StoreBy by) = 0;
};

// One step as the step reports it, with the program counter it started at.
struct StepInfo {
    uint16_t start;      // ProgramCounter before the step (the interrupted address after an entry)
    uint16_t executed;   // the instruction executed (the vector's first instruction after an entry)
    uint8_t cycles;      // machine cycles, the interrupt entry's 2 included
    bool interrupted;    // an interrupt was entered
    uint8_t opcode;      // the instruction executed (at an entry: the vector's first, still to run)
};

// The step that started at `pc` and reported `step`.
inline StepInfo StepInfoOf(uint16_t pc, const StepResult& step) {
    return {pc, step.executed, step.cycles, step.interrupted, step.opcode};
}

class StepObserver {
public:
    virtual ~StepObserver() = default;
    virtual void Stepped(const StepInfo& step) = 0;
    // An interrupt entered within a step, before the vector's first instruction runs: start is the
    // interrupted address, executed the vector, cycles 2 (the hardware LCALL), interrupted true.
    // Its stores (the return address, SP, the cleared request flag) are made; Machine.cycles does
    // not count the step's cycles yet, and the timers have not counted them.
    virtual void Entered(const StepInfo&) {}
};

constexpr int kMaxObservers = 8;

// Controlling thread. Adding returns false when all kMaxObservers places are taken; adding one
// twice adds it once.
bool AddStoreObserver(StoreObserver* observer);
void RemoveStoreObserver(StoreObserver* observer);
bool AddStepObserver(StepObserver* observer);
void RemoveStepObserver(StepObserver* observer);

// While history rebuilds or searches the past, its own observer alone is told of the stores: the
// others (the debugger's armed data breakpoints, analysis, display latches) must not take
// replayed instructions for new ones. nullptr ends it. The thread that owns the machine, with no
// run in progress.
void SetSoleStoreObserver(StoreObserver* observer);

namespace observers {
extern std::atomic<StoreObserver*> Sole;
extern std::atomic<StoreObserver*> Stores[kMaxObservers];
extern std::atomic<StepObserver*> Steps[kMaxObservers];
extern std::atomic<int> StoreCount, StepCount;
}  // namespace observers

namespace observers {
// A fixed list of places that the controlling thread fills and the stepping thread reads: adding
// takes the first free place (once for an observer already there), false when all are taken;
// `count` follows how many are filled.
template <class T, std::size_t N>
bool AddTo(std::atomic<T*> (&places)[N], std::atomic<int>& count, T* o) {
    for (auto& p : places)
        if (p.load() == o) return true;
    for (auto& p : places) {
        T* empty = nullptr;
        if (p.compare_exchange_strong(empty, o)) {
            count.fetch_add(1);
            return true;
        }
    }
    return false;
}
template <class T, std::size_t N>
void RemoveFrom(std::atomic<T*> (&places)[N], std::atomic<int>& count, T* o) {
    for (auto& p : places) {
        T* here = o;
        if (o && p.compare_exchange_strong(here, nullptr)) count.fetch_sub(1);
    }
}
}  // namespace observers

inline bool StoreObserversInstalled() { return observers::StoreCount.load(std::memory_order_relaxed) > 0; }
inline bool StepObserversInstalled() { return observers::StepCount.load(std::memory_order_relaxed) > 0; }

// The one step observer installed, or nullptr when there are none or several (controlling
// thread, between runs).
StepObserver* OnlyStepObserver();
// Calls every installed observer (the store routines' watched path, the run loop).
void NotifyStoreObservers(StoreSpace space, uint16_t index, uint8_t value, uint8_t old, StoreBy by);
void NotifyStepObservers(const StepInfo& step);
// The step's interrupt entry, while step observers are installed.
void NotifyInterruptEntry(const StepInfo& entry);

// Whether window refreshes are due while the run loop watches every store for the observers (it
// holds ScreenUpdateCountdown at 0 then); 1 otherwise.
extern Shared<uint8_t> ScreenRefreshDue;
