// Relaxed atomic access to plain members, so that a device's state stays one copyable value while
// the simulation thread writes it and a window reads it.
#pragma once

#include <atomic>

// Reads or writes `x` as a relaxed atomic: whole values, no ordering beyond that. On x86 these are
// ordinary moves; ThreadSanitizer sees every access as atomic.
template <typename T>
inline T LoadRelaxed(const T& x) {
    return std::atomic_ref<T>(const_cast<T&>(x)).load(std::memory_order_relaxed);
}
template <typename T>
inline void StoreRelaxed(T& x, T v) {
    std::atomic_ref<T>(x).store(v, std::memory_order_relaxed);
}
