// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the program's functions fail (docs/ARCHITECTURE.md, "Errors"). One that
// can fail for a reason the user should read returns std::optional<Failure>:
// nothing when it was done. One that gives something returns Result<T>:
// the thing, or the failure. A plain bool is left where there is no reason
// to give. At a call site:
//
//     if (auto failure = list.save(file)) dialogs.error(failure->reason);
//     auto loaded = loadLaunchFile(file);
//     if (auto failure = loaded.failure()) ...
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

namespace platform {

struct Failure {
    std::string reason;  // the whole text, as the user is shown it
    int error = 0;       // the system's error number behind it; 0 where there is none
};

// The system's text for an error number (strerror's, safe on any thread).
inline std::string errorText(int error) { return std::generic_category().message(error); }
// A failure that is only the system's: its text is the reason.
inline Failure systemFailure(int error) { return Failure{errorText(error), error}; }

// Something, or why it could not be had.
template <typename T>
class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    explicit operator bool() const { return state_.index() == 0; }
    // Nothing when there is a value.
    const Failure* failure() const { return std::get_if<1>(&state_); }

    // Only when there is a value.
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

private:
    std::variant<T, Failure> state_;
};

// The failure alone, for a caller that has no use for the value.
template <typename T>
std::optional<Failure> failureOf(const Result<T>& result) {
    if (const Failure* failure = result.failure()) return *failure;
    return std::nullopt;
}

}  // namespace platform
