// Expected<T>: a value, or the message that says why there is none. Resolvers and encoders return
// it, and only the caller at the top decides what a failure ends.
#pragma once

#include <optional>
#include <string>
#include <utility>

template <typename T>
class Expected {
public:
    Expected(T value) : value_(std::move(value)) {}  // NOLINT: a value converts to a success
    static Expected Failure(std::string message) {
        Expected r;
        r.error_ = std::move(message);
        return r;
    }

    explicit operator bool() const { return value_.has_value(); }
    bool ok() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return &*value_; }
    T* operator->() { return &*value_; }
    // The message of a failure, "" for a success.
    const std::string& error() const { return error_; }

private:
    Expected() = default;
    std::optional<T> value_;
    std::string error_;
};
