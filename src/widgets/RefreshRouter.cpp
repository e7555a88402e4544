// The installed StoreRefreshHooks: filters stores by the open windows' interest and hands the
// refreshes of one store to the user-interface thread in one round trip.
#include "RefreshRouter.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

#include "Code.h"
#include "RunThreads.h"

namespace {

struct Entry {
    RefreshTarget* target;
    RefreshOrder order;
    std::vector<bool> interest;
    int externalPage = -1;
};

// Touched only on the user-interface thread.
std::vector<Entry> Targets;

// Read by the simulation thread: which indexes any open window shows, and the external page.
std::array<std::atomic<bool>, kInternalRamSize> Interest{};
std::atomic<int> ExternalPage{-1};
std::atomic<bool> SkipUnchanged{false};

void Dispatch(uint16_t address, uint8_t value, uint8_t old) {
    // Looked up now, on the user-interface thread: a window closed meanwhile is no longer listed.
    for (size_t i = 0; i < Targets.size(); ++i) {
        if (Targets[i].interest[address]) Targets[i].target->DirectRefresh(address, value, old);
    }
}

void DispatchExternal(uint16_t address, uint8_t value) {
    for (size_t i = 0; i < Targets.size(); ++i) {
        if (Targets[i].externalPage == address >> 8) Targets[i].target->ExternalRefresh(address, value);
    }
}

class Router : public StoreRefreshHooks {
public:
    void DirectStored(uint16_t address, uint8_t value, uint8_t old, bool fromWorker) override {
        if (address >= kInternalRamSize || !Interest[address].load(std::memory_order_relaxed)) return;
        if (fromWorker && value == old && SkipUnchanged.load(std::memory_order_relaxed)) return;
        if (fromWorker) Synchronize([&] { Dispatch(address, value, old); });
        else Dispatch(address, value, old);
    }
    void ExternalStored(uint16_t address, uint8_t value, bool fromWorker) override {
        if (ExternalPage.load(std::memory_order_relaxed) != address >> 8) return;
        if (fromWorker) Synchronize([&] { DispatchExternal(address, value); });
        else DispatchExternal(address, value);
    }
};

Router TheRouter;

void Recompute() {
    std::sort(Targets.begin(), Targets.end(),
              [](const Entry& a, const Entry& b) { return a.order < b.order; });
    for (size_t a = 0; a < kInternalRamSize; ++a) {
        bool any = false;
        for (const auto& e : Targets) any = any || e.interest[a];
        Interest[a].store(any, std::memory_order_relaxed);
    }
    int page = -1;
    for (const auto& e : Targets)
        if (e.externalPage >= 0) page = e.externalPage;
    ExternalPage.store(page, std::memory_order_relaxed);
    InstallStoreRefreshHooks(Targets.empty() ? nullptr : &TheRouter);
}

std::vector<bool> InterestOf(const std::function<bool(uint16_t)>& interested) {
    std::vector<bool> v(kInternalRamSize);
    for (uint16_t a = 0; a < kInternalRamSize; ++a) v[a] = interested(a);
    return v;
}

}  // namespace

void AddRefreshTarget(RefreshTarget* target, RefreshOrder order,
                      const std::function<bool(uint16_t)>& interested) {
    Targets.push_back({target, order, InterestOf(interested)});
    Recompute();
}

void UpdateRefreshInterest(RefreshTarget* target, const std::function<bool(uint16_t)>& interested) {
    for (auto& e : Targets)
        if (e.target == target) e.interest = InterestOf(interested);
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

void SetSkipUnchangedStores(bool skip) { SkipUnchanged.store(skip, std::memory_order_relaxed); }
