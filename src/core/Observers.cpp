// The store and step observers' places and the calls that reach them.
#include "Observers.h"

Shared<uint8_t> ScreenRefreshDue{1};

namespace observers {
std::atomic<StoreObserver*> Sole{nullptr};
std::atomic<StoreObserver*> Stores[kMaxObservers];
std::atomic<StepObserver*> Steps[kMaxObservers];
std::atomic<int> StoreCount{0}, StepCount{0};
}  // namespace observers


bool AddStoreObserver(StoreObserver* o) { return observers::AddTo(observers::Stores, observers::StoreCount, o); }
void RemoveStoreObserver(StoreObserver* o) { observers::RemoveFrom(observers::Stores, observers::StoreCount, o); }
bool AddStepObserver(StepObserver* o) { return observers::AddTo(observers::Steps, observers::StepCount, o); }
void RemoveStepObserver(StepObserver* o) { observers::RemoveFrom(observers::Steps, observers::StepCount, o); }

void SetSoleStoreObserver(StoreObserver* o) {
    // Counted as installed while it is there, so that watched stores reach it.
    StoreObserver* before = observers::Sole.exchange(o);
    if (before && !o) observers::StoreCount.fetch_sub(1);
    if (!before && o) observers::StoreCount.fetch_add(1);
}

void NotifyStoreObservers(StoreSpace space, uint16_t index, uint8_t value, uint8_t old, StoreBy by) {
    if (StoreObserver* sole = observers::Sole.load(std::memory_order_relaxed)) {
        sole->Stored(space, index, value, old, by);
        return;
    }
    for (auto& p : observers::Stores)
        if (StoreObserver* o = p.load(std::memory_order_acquire)) o->Stored(space, index, value, old, by);
}

StepObserver* OnlyStepObserver() {
    if (observers::StepCount.load(std::memory_order_relaxed) != 1) return nullptr;
    for (auto& p : observers::Steps)
        if (StepObserver* o = p.load(std::memory_order_acquire)) return o;
    return nullptr;
}

void NotifyStepObservers(const StepInfo& step) {
    // Called after every step of an observed run: stop at the last installed observer rather than
    // look at every place (adding fills the first free place, so one observer is one look).
    int left = observers::StepCount.load(std::memory_order_relaxed);
    for (auto& p : observers::Steps) {
        if (left <= 0) break;
        if (StepObserver* o = p.load(std::memory_order_acquire)) {
            o->Stepped(step);
            --left;
        }
    }
}

void NotifyInterruptEntry(const StepInfo& entry) {
    for (auto& p : observers::Steps)
        if (StepObserver* o = p.load(std::memory_order_acquire)) o->Entered(entry);
}
