// Either a value or the error that stands in for it. The core reports parse
// failures through this type; the only exceptions it throws are
// std::bad_alloc and std::length_error (lists too long for a value's 32-bit
// offsets).
#pragma once

#include <utility>
#include <variant>

namespace vorna {

template <class T, class E> class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & noexcept { return *std::get_if<0>(&state_); }
    const T& value() const& noexcept { return *std::get_if<0>(&state_); }
    T&& value() && noexcept { return std::move(*std::get_if<0>(&state_)); }
    E& error() & noexcept { return *std::get_if<1>(&state_); }
    const E& error() const& noexcept { return *std::get_if<1>(&state_); }
    E&& error() && noexcept { return std::move(*std::get_if<1>(&state_)); }

private:
    std::variant<T, E> state_;
};

}  // namespace vorna
