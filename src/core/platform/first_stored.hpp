// A value decided once for the process, where several threads may work it
// out at the same time: each computes its candidate, the first one stored
// wins, and every caller gets that one. The way this code initialises
// anything once that may be worked out twice (a class object, an interned
// name, a colour decision), and settles a claim that only the first may win
// (the log subscriber, the interpreter that imports the module first: a
// caller whose candidate does not stand is refused). What must be made
// exactly once, with the others waiting for it, is the module's once-cell.
#pragma once

#include <atomic>

namespace vorna {

// `T` is a pointer or a small integer type; `empty` marks "not stored yet"
// and is never stored.
template <class T, T empty = T{}> class FirstStored {
public:
    constexpr FirstStored() noexcept = default;

    // The stored value, or `empty`.
    T load() const noexcept { return value_.load(std::memory_order_acquire); }

    // Stores `candidate` unless a value is stored already, and returns the
    // value that stands: `candidate` when it won, else the earlier one.
    T store_first(T candidate) noexcept {
        T stored = empty;
        if (value_.compare_exchange_strong(stored, candidate, std::memory_order_acq_rel, std::memory_order_acquire)) {
            return candidate;
        }
        return stored;
    }

    // The stored value, made by `make()` (which returns a candidate, or
    // `empty` on failure, which stores nothing) when there is none yet.
    template <class Make> T get_or_store(Make&& make) {
        if (const T value = load(); value != empty) return value;
        const T made = make();
        return made == empty ? empty : store_first(made);
    }

private:
    std::atomic<T> value_{empty};
};

}  // namespace vorna
