// Outcomes as values: a result or a failure with its message and exit status, handed up to main.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

// Exit statuses of corvamat-run.
enum ExitStatus : int {
    kExitOk = 0,
    kExitMaxCycles = 1,
    kExitLoad = 2,
    kExitUsage = 64,    // a bad option or value, a file that cannot be opened before the run
    kExitIoError = 74,  // an output that could not be written
    kExitInterrupted = 130,
};

// What went wrong: main prints `message` after "corvamat-run: " (and, with `hint`, the line that
// points to --help) and exits with `status`.
struct Failure {
    int status = kExitUsage;
    std::string message;
    bool hint = false;
};

inline Failure UsageFailure(std::string message) { return {kExitUsage, std::move(message), true}; }

// Success without a value, or a failure.
using Status = std::optional<Failure>;

// A value or a failure.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Failure failure) : v_(std::move(failure)) {}
    explicit operator bool() const { return v_.index() == 0; }
    T& operator*() { return std::get<0>(v_); }
    const T& operator*() const { return std::get<0>(v_); }
    T* operator->() { return &std::get<0>(v_); }
    const Failure& failure() const { return std::get<1>(v_); }

private:
    std::variant<T, Failure> v_;
};
