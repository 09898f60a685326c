// result.hpp: Result<T, E>, the value-or-failure that every fallible step of the back end returns.
#pragma once

#include <optional>
#include <source_location>
#include <type_traits>
#include <utility>
#include <variant>

#include "runtime/internal_failure.hpp"

namespace morvane {

// The failure half of a Result, so that `return Err(e);` reads the same for every T.
template <class E>
struct Err {
    E error;
};
template <class E>
Err(E) -> Err<E>;

// Either a value of T or a failure of E. Reading the half that is not there is a broken invariant
// of the caller and raises InternalFailure.
template <class T, class E>
class [[nodiscard]] Result {
public:
    using value_type = T;
    using error_type = E;

    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <class F>
        requires std::is_constructible_v<E, F&&>
    Result(Err<F> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    // The source location is the caller's, so that a misuse is reported where it happened.
    T& value(std::source_location where = std::source_location::current()) & {
        return *check(std::get_if<0>(&state_), "value of a failed Result", where);
    }
    const T& value(std::source_location where = std::source_location::current()) const& {
        return *check(std::get_if<0>(&state_), "value of a failed Result", where);
    }
    T&& value(std::source_location where = std::source_location::current()) && { return std::move(value(where)); }

    E& error(std::source_location where = std::source_location::current()) & {
        return *check(std::get_if<1>(&state_), "error of a successful Result", where);
    }
    const E& error(std::source_location where = std::source_location::current()) const& {
        return *check(std::get_if<1>(&state_), "error of a successful Result", where);
    }
    E&& error(std::source_location where = std::source_location::current()) && { return std::move(error(where)); }

private:
    template <class P>
    static P* check(P* present, const char* what, const std::source_location& where) {
        if (present == nullptr) throw InternalFailure(what, where);
        return present;
    }

    std::variant<T, E> state_;
};

// Success without a value, or a failure of E.
template <class E>
class [[nodiscard]] Result<void, E> {
public:
    using value_type = void;
    using error_type = E;

    Result() = default;
    template <class F>
        requires std::is_constructible_v<E, F&&>
    Result(Err<F> failure) : failure_(std::move(failure.error)) {}

    bool ok() const noexcept { return !failure_.has_value(); }
    explicit operator bool() const noexcept { return ok(); }

    E& error(std::source_location where = std::source_location::current()) & {
        if (!failure_) throw InternalFailure("error of a successful Result", where);
        return *failure_;
    }
    const E& error(std::source_location where = std::source_location::current()) const& {
        if (!failure_) throw InternalFailure("error of a successful Result", where);
        return *failure_;
    }
    E&& error(std::source_location where = std::source_location::current()) && { return std::move(error(where)); }

private:
    std::optional<E> failure_;
};

// The failure of a failed Result, taken out of it to be returned by a caller whose own Result
// may hold another value type (and any failure type constructible from E).
template <class T, class E>
Err<E> failure_of(Result<T, E>&& failed, std::source_location where = std::source_location::current()) {
    return Err<E>{std::move(failed).error(where)};
}

}  // namespace morvane

// Returns the failure of a Result from the enclosing function, in the spirit of WIL's
// RETURN_IF_FAILED: `MORVANE_RETURN_IF_FAILED(task);` after `Result<...> task = get_task(...);`,
// or around a call whose value is not needed. The expression is evaluated once.
#define MORVANE_RETURN_IF_FAILED(...)                                                              \
    do {                                                                                           \
        if (auto&& morvane_outcome_ = (__VA_ARGS__); !morvane_outcome_)                            \
            return ::morvane::failure_of(std::move(morvane_outcome_));                             \
    } while (false)
