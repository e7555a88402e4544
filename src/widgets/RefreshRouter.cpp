// The installed StoreRefreshHooks: marks the windows that a due store concerns, captures the
// multiplexed display's latches, and repaints the marked windows on the user-interface thread.
#include "RefreshRouter.h"

#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>

#include "Code.h"
#include "Observers.h"

namespace {

struct Entry {
    RefreshTarget* target;
    RefreshOrder order;
    std::vector<bool> shows;
    int externalPage = -1;
};

// Touched only on the user-interface thread.
std::vector<Entry> Targets;
QTimer* Pacer = nullptr;
std::function<void()> PacedTick;

uint32_t ShowBit(RefreshOrder o) { return 1u << int(o); }
uint32_t DeliverBit(RefreshOrder o) { return 1u << (8 + int(o)); }

// Read by whichever thread stores: per InternalRam index the windows that show it (one bit per
// RefreshOrder), and the external page shown.
std::array<std::atomic<uint8_t>, kInternalRamSize> Shown{};
std::atomic<int> ExternalPage{-1};
// Written by any thread, taken by the user-interface thread: ShowBit = show live state,
// DeliverBit = deliver what was queued.
std::atomic<uint32_t> Marked{0};

// Always a read-modify-write: the user-interface thread's exchange then either sees this mark and
// every byte stored before it, or leaves it for the next repaint.
void Mark(uint32_t bits) { Marked.fetch_or(bits, std::memory_order_release); }

// The latches. LatchCount is 0 while the user-interface thread rewrites the table.
constexpr int kMaxLatches = 8;
std::atomic<int> LatchCount{0};
std::array<std::atomic<uint8_t>, kMaxLatches> LatchTrigger{};
std::array<std::array<std::atomic<uint8_t>, 8>, kMaxLatches> LatchPins{};
std::array<std::atomic<uint8_t>, kMaxLatches> Latched{};

void CaptureLatches(uint16_t a, uint8_t v, uint8_t old) {
    const int n = LatchCount.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i) {
        const uint8_t t = LatchTrigger[i].load(std::memory_order_relaxed);
        const uint8_t mask = uint8_t(1u << (t & 7));
        if ((t & 0xF8) != a || (v & mask) || !(old & mask)) continue;
        uint8_t levels = 0;
        for (int k = 0; k < 8; ++k)
            levels |= uint8_t(ReadBit(LatchPins[i][k].load(std::memory_order_relaxed)) << k);
        Latched[i].store(levels, std::memory_order_relaxed);
    }
}

// The latches see every store, on a store observer of their own: an edge must never depend on
// whether the windows were due for a refresh.
class LatchObserver : public StoreObserver {
public:
    void Stored(StoreSpace space, uint16_t index, uint8_t value, uint8_t old, StoreBy) override {
        if (space == StoreSpace::Internal && index < 0x100) CaptureLatches(index, value, old);
    }
};
LatchObserver TheLatchObserver;

class Router : public StoreRefreshHooks {
public:
    void DirectStored(uint16_t address, uint8_t value, uint8_t old, bool fromWorker) override {
        if (address >= kInternalRamSize) return;
        (void)value;
        (void)old;
        const uint8_t shown = Shown[address].load(std::memory_order_relaxed);
        if (!shown) return;
        Mark(shown);
        if (!fromWorker) RepaintChangedWindows();
    }
    void ExternalStored(uint16_t address, uint8_t, bool fromWorker) override {
        if (ExternalPage.load(std::memory_order_relaxed) != address >> 8) return;
        Mark(ShowBit(RefreshOrder::ExternalRam));
        if (!fromWorker) RepaintChangedWindows();
    }
};

Router TheRouter;

void Recompute() {
    std::stable_sort(Targets.begin(), Targets.end(),
                     [](const Entry& a, const Entry& b) { return a.order < b.order; });
    for (size_t a = 0; a < kInternalRamSize; ++a) {
        uint8_t bits = 0;
        for (const auto& e : Targets)
            if (e.shows[a]) bits |= uint8_t(ShowBit(e.order));
        Shown[a].store(bits, std::memory_order_relaxed);
    }
    int page = -1;
    for (const auto& e : Targets)
        if (e.externalPage >= 0) page = e.externalPage;
    ExternalPage.store(page, std::memory_order_relaxed);
    InstallStoreRefreshHooks(Targets.empty() ? nullptr : &TheRouter);
}

std::vector<bool> ShownBy(const std::function<bool(uint16_t)>& shows) {
    std::vector<bool> v(kInternalRamSize);
    for (uint16_t a = 0; a < kInternalRamSize; ++a) v[a] = shows(a);
    return v;
}

void Repaint(uint32_t bits) {
    // A window closed meanwhile is no longer listed; a window opened by a repaint is served by the
    // next one.
    std::vector<std::pair<RefreshTarget*, RefreshOrder>> targets;
    for (const Entry& e : Targets) targets.emplace_back(e.target, e.order);
    for (const auto& [target, order] : targets) {
        const bool stillOpen = std::any_of(Targets.begin(), Targets.end(),
                                           [&](const Entry& x) { return x.target == target; });
        if (!stillOpen) continue;
        if (bits & ShowBit(order)) target->ShowLiveState();
        if (bits & DeliverBit(order)) target->DeliverQueued();
    }
}

}  // namespace

void AddRefreshTarget(RefreshTarget* target, RefreshOrder order, const std::function<bool(uint16_t)>& shows) {
    Targets.push_back({target, order, ShownBy(shows)});
    Recompute();
}

void UpdateRefreshInterest(RefreshTarget* target, const std::function<bool(uint16_t)>& shows) {
    for (auto& e : Targets)
        if (e.target == target) e.shows = ShownBy(shows);
    Recompute();
}

void SetExternalRefreshPage(RefreshTarget* target, int page) {
    for (auto& e : Targets)
        if (e.target == target) e.externalPage = page;
    Recompute();
}

void RemoveRefreshTarget(RefreshTarget* target) {
    Targets.erase(std::remove_if(Targets.begin(), Targets.end(),
                                 [&](const Entry& e) { return e.target == target; }),
                  Targets.end());
    Recompute();
}

void SetTriggerLatches(const std::vector<TriggerLatch>& latches) {
    LatchCount.store(0, std::memory_order_release);
    const int n = std::min<int>(int(latches.size()), kMaxLatches);
    for (int i = 0; i < kMaxLatches; ++i) {
        Latched[i].store(0xFF, std::memory_order_relaxed);
        if (i >= n) continue;
        LatchTrigger[i].store(latches[size_t(i)].trigger, std::memory_order_relaxed);
        for (int k = 0; k < 8; ++k) LatchPins[i][k].store(latches[size_t(i)].pins[k], std::memory_order_relaxed);
    }
    LatchCount.store(n, std::memory_order_release);
    if (n > 0) AddStoreObserver(&TheLatchObserver);
    else RemoveStoreObserver(&TheLatchObserver);
}

uint8_t LatchedPins(int i) {
    return i >= 0 && i < kMaxLatches ? Latched[i].load(std::memory_order_relaxed) : uint8_t(0xFF);
}

void ForgetLatchedPins() {
    for (auto& l : Latched) l.store(0xFF, std::memory_order_relaxed);
}

void QueueDelivery(RefreshOrder order) { Mark(DeliverBit(order)); }

void RepaintChangedWindows() {
    const uint32_t bits = Marked.exchange(0, std::memory_order_acquire);
    if (bits) Repaint(bits);
}

void RepaintAllWindows() {
    Marked.exchange(0, std::memory_order_acquire);
    Repaint(~0u);
}

void StartRepaintPacing(std::function<void()> eachTick) {
    if (!Pacer) {
        Pacer = new QTimer;
        Pacer->setInterval(16);
        QObject::connect(Pacer, &QTimer::timeout, [] {
            RepaintChangedWindows();
            if (PacedTick) PacedTick();
        });
    }
    PacedTick = std::move(eachTick);
    Pacer->start();
}

void StopRepaintPacing() {
    if (Pacer) Pacer->stop();
    PacedTick = nullptr;
}
