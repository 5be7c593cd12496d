// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the program's functions fail (docs/ARCHITECTURE.md, "Errors"). A function
// that can fail returns Result<T>: the thing, or why it could not be had;
// Result<> (T = void) when it only does something. A Result is true when it
// succeeded, whatever it holds, and the compiler rejects one left unread
// (-Werror=unused-result). At a call site:
//
//     if (auto failure = list.save(file).failure()) dialogs.error(failure->reason);
//     auto loaded = loadLaunchFile(file);
//     if (!loaded) return *loaded.failure();
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
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
template <typename T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    explicit operator bool() const { return state_.index() == 0; }
    // Nothing when there is a value. Read from a Result the caller keeps it
    // points into it; read from one just returned it is a copy, so that
    // `if (auto failure = f().failure())` never points into a temporary.
    const Failure* failure() const& { return std::get_if<1>(&state_); }
    std::optional<Failure> failure() && { return copyOf(std::get_if<1>(&state_)); }

    // Only when there is a value.
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

private:
    static std::optional<Failure> copyOf(const Failure* failure) {
        if (failure) return *failure;
        return std::nullopt;
    }
    std::variant<T, Failure> state_;
};

// Done, or why not.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return !failure_; }
    const Failure* failure() const& { return failure_ ? &*failure_ : nullptr; }
    std::optional<Failure> failure() && { return std::move(failure_); }

private:
    std::optional<Failure> failure_;
};

// What was done: a Result<> that succeeded.
inline Result<> done() { return {}; }

// Done or not, for a caller that has no use for the value.
template <typename T>
Result<> withoutValue(const Result<T>& result) {
    if (const Failure* failure = result.failure()) return *failure;
    return done();
}

}  // namespace platform
