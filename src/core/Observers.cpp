// The store and step observers' places and the calls that reach them.
#include "Observers.h"

Shared<uint8_t> ScreenRefreshDue{1};

namespace observers {
std::atomic<StoreObserver*> Stores[kMaxObservers];
std::atomic<StepObserver*> Steps[kMaxObservers];
std::atomic<int> StoreCount{0}, StepCount{0};
}  // namespace observers

namespace {

template <class T>
bool Add(std::atomic<T*> (&places)[kMaxObservers], std::atomic<int>& count, T* o) {
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

template <class T>
void Remove(std::atomic<T*> (&places)[kMaxObservers], std::atomic<int>& count, T* o) {
    for (auto& p : places) {
        T* here = o;
        if (o && p.compare_exchange_strong(here, nullptr)) count.fetch_sub(1);
    }
}

}  // namespace

bool AddStoreObserver(StoreObserver* o) { return Add(observers::Stores, observers::StoreCount, o); }
void RemoveStoreObserver(StoreObserver* o) { Remove(observers::Stores, observers::StoreCount, o); }
bool AddStepObserver(StepObserver* o) { return Add(observers::Steps, observers::StepCount, o); }
void RemoveStepObserver(StepObserver* o) { Remove(observers::Steps, observers::StepCount, o); }

void NotifyStoreObservers(StoreSpace space, uint16_t index, uint8_t value, uint8_t old, StoreBy by) {
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
