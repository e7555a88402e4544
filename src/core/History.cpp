// History: checkpoints of the machine value in shared pages, the input log, and the instants
// rebuilt, searched and replayed from them.
#include "History.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <type_traits>

#include "Observers.h"

namespace history {
uint64_t NextCheckpoint = UINT64_MAX;
}  // namespace history

namespace {

// A checkpoint keeps the bytes of a MachineState in pages, each shared with the checkpoint before
// it where it did not change: code memory, most of external RAM and the devices' pulls usually
// cost nothing, so a checkpoint of a typical program costs a few kilobytes. The machine value is
// plain bytes and integers in wrappers whose copies do nothing but copy them (relaxed atomics for
// the threads), so its object representation is its value; a copy is made field by field from the
// live machine first (SaveMachine's way, race-free), and paged from that copy.
static_assert(std::is_standard_layout_v<MachineState> && std::is_trivially_destructible_v<MachineState>,
              "checkpoints page the machine value's bytes");
constexpr std::size_t kStateBytes = sizeof(MachineState);
constexpr std::size_t kPageBytes = 1024;
constexpr std::size_t kPages = (kStateBytes + kPageBytes - 1) / kPageBytes;
// A long replay looks at its stop request this often.
constexpr uint64_t kCancelSlice = uint64_t(1) << 14;

struct Page {
    uint32_t refs = 1;
    uint8_t bytes[kPageBytes];
};

struct Checkpoint {
    uint64_t instructions = 0, cycles = 0;
    uint64_t logIndex = 0;  // the inputs applied before it (an index of the whole log)
    std::array<Page*, kPages> pages{};
};

constexpr std::size_t kCheckpointBytes = sizeof(Checkpoint) + 16;
constexpr std::size_t kInputBytes = sizeof(MachineInput);

// The owner thread's state.
struct Recorder {
    std::size_t budget = 0, used = 0;
    std::deque<Checkpoint> checkpoints;
    std::deque<MachineInput> log;
    uint64_t logBase = 0;  // the whole log's index of log.front()
    uint64_t applied = 0;  // the whole log's inputs the machine has taken
    bool inPast = false;
    uint64_t present = 0, presentCycles = 0;  // while in the past
    bool replaying = false;                   // history applies a logged input itself
    std::unique_ptr<MachineState> scratch = std::make_unique<MachineState>();

    uint64_t LogEnd() const { return logBase + log.size(); }
    const MachineInput& Next() const { return log[size_t(applied - logBase)]; }
    uint64_t NextStamp() const { return applied < LogEnd() ? Next().stamp : UINT64_MAX; }
    uint64_t Oldest() const { return checkpoints.empty() ? 0 : checkpoints.front().instructions; }
    uint64_t Present() const { return inPast ? present : Machine.instructions; }

    ~Recorder() {
        // The pages that the checkpoints still share, at the program's end.
        for (Checkpoint& c : checkpoints)
            for (Page* p : c.pages)
                if (p && --p->refs == 0) delete p;
    }
};
Recorder R;

// What other threads read.
struct Published {
    std::atomic<bool> enabled{false}, inPast{false};
    std::atomic<uint64_t> oldest{0}, position{0}, present{0}, oldestCycles{0}, positionCycles{0}, presentCycles{0};
    std::atomic<std::size_t> bytes{0};
};
Published P;

void Publish() {
    P.enabled.store(R.budget > 0, std::memory_order_relaxed);
    P.inPast.store(R.inPast, std::memory_order_relaxed);
    P.oldest.store(R.Oldest(), std::memory_order_relaxed);
    P.oldestCycles.store(R.checkpoints.empty() ? 0 : R.checkpoints.front().cycles, std::memory_order_relaxed);
    P.position.store(Machine.instructions, std::memory_order_relaxed);
    P.positionCycles.store(Machine.cycles, std::memory_order_relaxed);
    P.present.store(R.Present(), std::memory_order_relaxed);
    P.presentCycles.store(R.inPast ? R.presentCycles : Machine.cycles, std::memory_order_relaxed);
    P.bytes.store(R.used, std::memory_order_relaxed);
}

unsigned char* ScratchBytes() { return reinterpret_cast<unsigned char*>(R.scratch.get()); }

void Release(Checkpoint& c) {
    for (Page*& p : c.pages) {
        if (p && --p->refs == 0) {
            delete p;
            R.used -= sizeof(Page);
        }
        p = nullptr;
    }
    R.used -= kCheckpointBytes;
}

void DropLogBefore(uint64_t index) {
    while (R.logBase < index && !R.log.empty()) {
        R.log.pop_front();
        ++R.logBase;
        R.used -= kInputBytes;
    }
}

// The budget is full: the oldest checkpoints go (never the last one), and the inputs before the
// oldest that stays.
void Trim() {
    while (R.used > R.budget && R.checkpoints.size() > 1) {
        Release(R.checkpoints.front());
        R.checkpoints.pop_front();
    }
    if (!R.checkpoints.empty()) DropLogBefore(R.checkpoints.front().logIndex);
}

void Clear() {
    for (Checkpoint& c : R.checkpoints) Release(c);
    R.checkpoints.clear();
    R.log.clear();
    R.logBase = R.applied = 0;
    R.used = 0;
    R.inPast = false;
}

void Restore(const Checkpoint& c) {
    unsigned char* bytes = ScratchBytes();
    for (std::size_t i = 0; i < kPages; ++i) {
        const std::size_t at = i * kPageBytes;
        std::memcpy(bytes + at, c.pages[i]->bytes, std::min(kPageBytes, kStateBytes - at));
    }
    RestoreMachine(*R.scratch);
    R.applied = c.logIndex;
}

// The last checkpoint at or before instruction count `k`.
const Checkpoint* CheckpointAtOrBefore(uint64_t k, std::size_t* index = nullptr) {
    auto it = std::upper_bound(R.checkpoints.begin(), R.checkpoints.end(), k,
                               [](uint64_t v, const Checkpoint& c) { return v < c.instructions; });
    if (it == R.checkpoints.begin()) return nullptr;
    --it;
    if (index) *index = std::size_t(it - R.checkpoints.begin());
    return &*it;
}

// A change made in the past: the log after what the machine has taken and the checkpoints after
// its instant go, and its instant is the present.
void DiscardFuture() {
    const uint64_t k = Machine.instructions;
    const std::size_t keep = std::size_t(R.applied - R.logBase);
    R.used -= (R.log.size() - keep) * kInputBytes;
    R.log.erase(R.log.begin() + std::ptrdiff_t(keep), R.log.end());
    while (R.checkpoints.size() > 1) {
        const Checkpoint& last = R.checkpoints.back();
        if (last.instructions < k || (last.instructions == k && last.logIndex <= R.applied)) break;
        Release(R.checkpoints.back());
        R.checkpoints.pop_back();
    }
    R.inPast = false;
    history::NextCheckpoint = R.checkpoints.back().instructions + kCheckpointInterval;
    Publish();
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// One logged input, applied as it was the first time; no window is refreshed by it.
void ApplyLogged() {
    const MachineInput in = R.Next();
    ++R.applied;
    const uint8_t countdown = ScreenUpdateCountdown;
    ScreenUpdateCountdown = 255;
    R.replaying = true;
    ApplyInput(in);
    R.replaying = false;
    ScreenUpdateCountdown = countdown;
}

// The logged inputs of the machine's instruction count that came between two steps, and those the
// next step applied before its instruction.
void ApplyBetweenSteps() {
    while (R.applied < R.LogEnd() && R.Next().stamp == Machine.instructions && !R.Next().inStep) ApplyLogged();
}
void ApplyStepInputs() {
    while (R.applied < R.LogEnd() && R.Next().stamp == Machine.instructions && R.Next().inStep) ApplyLogged();
}

// While history drives the machine: no window refreshes, the serial line holds its bytes, the
// program's transmissions go nowhere. `watch` makes the steps' stores reach history's own observer
// alone.
class ReplayScope {
public:
    explicit ReplayScope(StoreObserver* sole = nullptr) : countdown_(ScreenUpdateCountdown), sole_(sole) {
        SerialLineHold(true);
        MuteSerialOutput(true);
        if (sole_) {
            SetSoleStoreObserver(sole_);
            ScreenRefreshDue = 0;
            ScreenUpdateCountdown = 0;
        } else {
            ScreenUpdateCountdown = 255;
        }
    }
    ~ReplayScope() {
        if (sole_) {
            SetSoleStoreObserver(nullptr);
            ScreenRefreshDue = 1;
        }
        ScreenUpdateCountdown = countdown_;
        MuteSerialOutput(false);
        SerialLineHold(false);
    }
    ReplayScope(const ReplayScope&) = delete;
    ReplayScope& operator=(const ReplayScope&) = delete;

private:
    uint8_t countdown_;
    StoreObserver* sole_;
};

// Forward from the machine's instant to instruction count `k`. False when cancelled (the machine is
// then at an instant short of it), or when a change applied meanwhile discarded the future.
bool ReplayTo(uint64_t k, const std::atomic<bool>* cancel) {
    for (;;) {
        ApplyBetweenSteps();
        const uint64_t c = Machine.instructions;
        if (c >= k) return true;
        ApplyStepInputs();
        const uint64_t limit = std::max(c + 1, std::min({k, R.NextStamp(), c + kCancelSlice}));
        do StepUnwatched(ProgramCounter);
        while (Machine.instructions < limit);
        if (!R.inPast) return false;  // an input applied by the step discarded the future
        if (Cancelled(cancel)) {
            ApplyBetweenSteps();
            return false;
        }
    }
}

// The present as it was when the machine left it.
void LeavePresent() {
    if (R.inPast) return;
    R.present = Machine.instructions;
    R.presentCycles = Machine.cycles;
    R.inPast = true;
}

void ArriveIfPresent() {
    if (R.inPast && Machine.instructions == R.present && R.applied == R.LogEnd()) R.inPast = false;
}

bool GoTo(uint64_t k, const std::atomic<bool>* cancel) {
    if (R.budget == 0 || R.checkpoints.empty() || k < R.Oldest() || k > R.Present()) return false;
    if (!R.inPast && k == Machine.instructions) return true;
    LeavePresent();
    bool ok;
    {
        ReplayScope scope;
        const Checkpoint* c = CheckpointAtOrBefore(k);
        if (k < Machine.instructions || c->instructions > Machine.instructions) Restore(*c);
        ok = ReplayTo(k, cancel);
    }
    ArriveIfPresent();
    Publish();
    return ok;
}

// History's own observer of stores while it searches: the first store of an instruction that
// fires one of the watches.
class SearchWatch : public StoreObserver {
public:
    explicit SearchWatch(const std::vector<Breakpoint>& watches) : watches_(watches) {
        for (const Breakpoint& w : watches_) places_.push_back(PlaceOf(w.data));
    }
    void Stored(StoreSpace space, uint16_t index, uint8_t value, uint8_t old, StoreBy by) override {
        if (hit) return;
        for (std::size_t i = 0; i < watches_.size(); ++i)
            if (StoreFires(watches_[i].data, places_[i], space, index, value, old, by)) {
                hit = true;
                id = watches_[i].id;
                writer = ProgramCounter;
                this->value = value;
                return;
            }
    }
    bool hit = false;
    int id = 0;
    uint16_t writer = 0;
    uint8_t value = 0;

private:
    const std::vector<Breakpoint>& watches_;
    std::vector<WatchPlace> places_;
};

// Replays the segment from checkpoint `index` to instruction count `end`, remembering in `best`
// the latest instant where the stops hold: code breakpoints and the one-shot stop at instants
// before `testBefore`, watches at instants up to `watchUpTo`. False when cancelled.
bool ScanSegment(std::size_t index, uint64_t end, uint64_t testBefore, uint64_t watchUpTo, const HistoryStops& stops,
                 SearchWatch* watch, HistoryHit* best, const std::atomic<bool>* cancel) {
    Restore(R.checkpoints[index]);
    bool first = true;
    uint16_t last = 0;
    uint64_t steps = 0;
    for (;;) {
        const uint64_t c = Machine.instructions;
        const uint16_t pc = ProgramCounter;
        if (c < testBefore) {
            if (stops.codeBreakpoints && BreakpointTable[pc] == 1) {
                *best = {HistoryHit::Kind::Breakpoint, c, Machine.cycles, pc, CodeBreakpointAt(pc), 0};
            } else if (stops.oneShot && (!first || !stops.oneShot->onlyAfterReturn) &&
                       OneShotReached(*stops.oneShot, pc, last)) {
                *best = {HistoryHit::Kind::Reached, c, Machine.cycles, pc, 0, 0};
            }
        }
        ApplyBetweenSteps();
        if (c >= end) return true;
        ApplyStepInputs();
        const StepResult step = watch ? StepWatched(ProgramCounter) : StepUnwatched(ProgramCounter);
        last = step.executed;
        first = false;
        if (watch && watch->hit) {
            watch->hit = false;
            if (Machine.instructions <= watchUpTo)
                *best = {HistoryHit::Kind::Watch, Machine.instructions, Machine.cycles, watch->writer, watch->id,
                         watch->value};
        }
        if ((++steps & (kCancelSlice - 1)) == 0 && Cancelled(cancel)) return false;
    }
}

// The latest instant before the machine's (at it too for a watch with `inclusive`) where the stops
// hold, segment by segment from the newest. The machine is left somewhere in the past.
HistoryHit FindBack(const HistoryStops& stops, bool inclusive, const std::atomic<bool>* cancel) {
    HistoryHit best;
    if (R.budget == 0 || R.checkpoints.empty()) return best;
    const uint64_t from = Machine.instructions;
    std::size_t index = 0;
    if (!CheckpointAtOrBefore(from, &index)) return best;
    LeavePresent();
    SearchWatch watch(stops.watches);
    ReplayScope scope(stops.watches.empty() ? nullptr : &watch);
    uint64_t end = from, testBefore = from, watchUpTo = inclusive ? from : from - 1;
    for (;;) {
        if (!ScanSegment(index, end, testBefore, watchUpTo, stops, stops.watches.empty() ? nullptr : &watch, &best,
                         cancel))
            return HistoryHit{HistoryHit::Kind::Stopped};
        if (best.kind != HistoryHit::Kind::None || index == 0) return best;
        end = testBefore = watchUpTo = R.checkpoints[index].instructions;
        --index;
    }
}

}  // namespace

// ---- Recording ---------------------------------------------------------------------------------

void SetHistoryBudget(std::size_t bytes) {
    R.budget = bytes;
    HistoryRestart();
}

std::size_t HistoryBudget() { return R.budget; }

void HistoryRestart() {
    Clear();
    history::NextCheckpoint = R.budget ? Machine.instructions : UINT64_MAX;
    if (R.budget) TakeHistoryCheckpoint();
    Publish();
}

void TakeHistoryCheckpoint() {
    if (R.budget == 0) {
        history::NextCheckpoint = UINT64_MAX;
        return;
    }
    const uint64_t now = Machine.instructions;
    history::NextCheckpoint = now + kCheckpointInterval;
    if (R.inPast) return;  // checkpoints are taken at the present only
    if (!R.checkpoints.empty() && R.checkpoints.back().instructions == now && R.checkpoints.back().logIndex == R.applied)
        return;
    std::destroy_at(R.scratch.get());
    std::construct_at(R.scratch.get(), Machine);
    const unsigned char* bytes = ScratchBytes();
    Checkpoint c;
    c.instructions = now;
    c.cycles = Machine.cycles;
    c.logIndex = R.applied;
    const Checkpoint* before = R.checkpoints.empty() ? nullptr : &R.checkpoints.back();
    for (std::size_t i = 0; i < kPages; ++i) {
        const std::size_t at = i * kPageBytes, n = std::min(kPageBytes, kStateBytes - at);
        if (before && std::memcmp(before->pages[i]->bytes, bytes + at, n) == 0) {
            c.pages[i] = before->pages[i];
            ++c.pages[i]->refs;
        } else {
            c.pages[i] = new Page;
            std::memcpy(c.pages[i]->bytes, bytes + at, n);
            R.used += sizeof(Page);
        }
    }
    R.used += kCheckpointBytes;
    R.checkpoints.push_back(c);
    Trim();
    Publish();
}

bool HistoryInputApplied(const MachineInput& input) {
    if (R.replaying) return false;
    if (R.budget == 0) return true;
    if (R.inPast) DiscardFuture();
    R.log.push_back(input);
    ++R.applied;
    R.used += kInputBytes;
    if (R.used > R.budget) Trim();
    return true;
}

// ---- Where the machine is ----------------------------------------------------------------------

HistoryExtent CurrentHistoryExtent() {
    HistoryExtent e;
    e.enabled = P.enabled.load(std::memory_order_relaxed);
    e.inPast = P.inPast.load(std::memory_order_relaxed);
    e.oldest = P.oldest.load(std::memory_order_relaxed);
    e.position = P.position.load(std::memory_order_relaxed);
    e.present = P.present.load(std::memory_order_relaxed);
    e.oldestCycles = P.oldestCycles.load(std::memory_order_relaxed);
    e.positionCycles = P.positionCycles.load(std::memory_order_relaxed);
    e.presentCycles = P.presentCycles.load(std::memory_order_relaxed);
    e.bytes = P.bytes.load(std::memory_order_relaxed);
    return e;
}

bool HistoryInPast() { return P.inPast.load(std::memory_order_relaxed); }

void HistoryNoteStop() { Publish(); }

// ---- Moving ------------------------------------------------------------------------------------

bool HistoryGoTo(uint64_t instructions, const std::atomic<bool>* cancel) { return GoTo(instructions, cancel); }

uint64_t HistoryStepBack(uint64_t count, const std::atomic<bool>* cancel) {
    if (R.budget == 0 || R.checkpoints.empty()) return 0;
    const uint64_t from = Machine.instructions, oldest = R.Oldest();
    const uint64_t to = from - oldest >= count ? from - count : oldest;
    if (to == from || !GoTo(to, cancel)) return 0;
    return from - to;
}

HistoryStops BreakpointHistoryStops() {
    HistoryStops s;
    s.codeBreakpoints = true;
    for (const Breakpoint& b : ListBreakpoints(Breakpoint::Kind::Data))
        if (b.enabled) s.watches.push_back(b);
    return s;
}

HistoryHit HistoryReverseContinue(const HistoryStops& stops, const std::atomic<bool>* cancel) {
    const uint64_t from = Machine.instructions;
    if (R.budget == 0 || R.checkpoints.empty() || from == R.Oldest()) return {};
    HistoryHit hit = FindBack(stops, false, cancel);
    if (hit.kind == HistoryHit::Kind::Stopped) {
        GoTo(from, nullptr);
        return hit;
    }
    const uint64_t to = hit.kind == HistoryHit::Kind::None ? R.Oldest() : hit.instructions;
    GoTo(to, cancel);
    if (hit.kind == HistoryHit::Kind::None) {
        hit.instructions = Machine.instructions;
        hit.cycles = Machine.cycles;
        hit.pc = ProgramCounter;
    }
    return hit;
}

HistoryHit HistoryLastWrite(const std::vector<DataBreakpoint>& targets, const std::atomic<bool>* cancel) {
    if (R.budget == 0 || R.checkpoints.empty() || targets.empty()) return {};
    const uint64_t from = Machine.instructions;
    const bool wasInPast = R.inPast;
    HistoryStops stops;
    for (const DataBreakpoint& t : targets) {
        Breakpoint b;
        b.kind = Breakpoint::Kind::Data;
        b.data = t;
        stops.watches.push_back(b);
    }
    HistoryHit hit = FindBack(stops, true, cancel);
    GoTo(from, nullptr);
    if (!wasInPast) ArriveIfPresent();
    Publish();
    return hit.kind == HistoryHit::Kind::Watch ? hit : HistoryHit{};
}

HistoryHit HistoryRunForward(const std::atomic<bool>* cancel) {
    HistoryHit hit;
    if (!R.inPast) return hit;
    const bool watching = StoreObserversInstalled(), observed = StepObserversInstalled();
    {
        // A run: every observer hears the stores and steps, the windows are repainted at the end.
        ReplayScope scope;
        if (watching) {
            ScreenUpdateCountdown = 0;
            ScreenRefreshDue = 0;
        }
        bool first = true;
        uint16_t last = 0;
        for (;;) {
            const uint64_t c = Machine.instructions;
            const uint16_t pc = ProgramCounter;
            if (!first) {
                HistoryHit::Kind kind = HistoryHit::Kind::None;
                int id = 0;
                if (int32_t(pc) > ProgramEnd) {
                    kind = HistoryHit::Kind::End;
                } else if (BreakpointTable[pc] == 1) {
                    kind = HistoryHit::Kind::Breakpoint;
                    id = CodeBreakpointAt(pc);
                } else if (DebugStopsArmed) {
                    const DebugStop stop = DebugStopBefore(pc, last);
                    if (stop == DebugStop::Watch) kind = HistoryHit::Kind::Watch, id = LastWatchHit().id;
                    else if (stop == DebugStop::Reached) kind = HistoryHit::Kind::Reached;
                }
                if (kind == HistoryHit::Kind::None && Cancelled(cancel)) kind = HistoryHit::Kind::Stopped;
                if (kind != HistoryHit::Kind::None) {
                    hit = {kind, c, Machine.cycles, pc, id, 0};
                    ApplyBetweenSteps();
                    break;
                }
            }
            ApplyBetweenSteps();
            if (c >= R.present) break;
            ApplyStepInputs();
            const StepResult step = watching ? StepWatched(ProgramCounter) : StepUnwatched(ProgramCounter);
            if (observed) NotifyStepObservers(StepInfoOf(pc, step));
            last = step.executed;
            first = false;
            if (!R.inPast) break;  // an input applied by the step discarded the future: live from here
        }
        if (watching) ScreenRefreshDue = 1;
    }
    ArriveIfPresent();
    Publish();
    return hit;
}
