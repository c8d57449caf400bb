// What every binding stands on: owned references, errors at the boundary and
// the write errors, borrows, conversions, strings, keywords, the values made
// once, the interpreter lock and the fault-injection hooks of test builds.
//
// The per-instance borrow counter: 0 free, n > 0 readers, -1 one writer.
//
// What it guards. Every borrow is taken and given back inside one entry
// point, which neither releases the interpreter lock nor runs Python code in
// between (a getter copies its field under the borrow and makes the Python
// object after giving it back; allocating a str runs no collection). So with
// the lock no entry point ever finds another's borrow held, and the counter
// decides nothing. It guards the two cases where that stops holding: an
// interpreter without the lock (Py_GIL_DISABLED), where another thread's
// getter, setter or text form may hold the borrow, and any change that lets
// Python code (a finalizer run by a collection, a __del__) run while a borrow
// is held and reach the same instance. Either way a refused borrow raises the
// RuntimeError of the failed borrow from a property or a text form, and a
// comparison answers NotImplemented whichever operand is held.
//
// Every access to a counter happens with the interpreter lock held, and the
// lock is never released between reading a counter and writing it back, so
// with the lock a plain load and store make the same decisions a
// compare-and-swap would, without a locked instruction (a comparison takes
// two borrows, and a locked read-modify-write costs more than the rest of
// it). An interpreter without that lock gets the compare-and-swap.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <utility>

#include "bindings/runtime/errors.hpp"

namespace vorna::bindings {

using BorrowCounter = std::atomic<std::int64_t>;

inline constexpr const char* already_borrowed = "Already borrowed";
inline constexpr const char* already_mutably_borrowed = "Already mutably borrowed";

#ifdef Py_GIL_DISABLED
inline constexpr bool lock_serialises_borrows = false;
#else
inline constexpr bool lock_serialises_borrows = true;
#endif

class ReadBorrow {
public:
    // What a refused reader borrow raises.
    static constexpr const char* refused = already_mutably_borrowed;

    // Takes a reader borrow unless a writer holds the counter.
    static bool try_acquire(BorrowCounter& counter) noexcept {
        std::int64_t n = counter.load(std::memory_order_relaxed);
        if constexpr (lock_serialises_borrows) {
            if (n < 0) return false;
            counter.store(n + 1, std::memory_order_relaxed);
            return true;
        }
        do {
            if (n < 0) return false;
        } while (!counter.compare_exchange_weak(n, n + 1, std::memory_order_acquire, std::memory_order_relaxed));
        return true;
    }
    static void release(BorrowCounter& counter) noexcept {
        if constexpr (lock_serialises_borrows) {
            counter.store(counter.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
        } else {
            counter.fetch_sub(1, std::memory_order_release);
        }
    }
};

class WriteBorrow {
public:
    // What a refused writer borrow raises.
    static constexpr const char* refused = already_borrowed;

    // Takes the writer borrow when no borrow at all is active.
    static bool try_acquire(BorrowCounter& counter) noexcept {
        if constexpr (lock_serialises_borrows) {
            if (counter.load(std::memory_order_relaxed) != 0) return false;
            counter.store(-1, std::memory_order_relaxed);
            return true;
        }
        std::int64_t free = 0;
        return counter.compare_exchange_strong(free, -1, std::memory_order_acquire, std::memory_order_relaxed);
    }
    static void release(BorrowCounter& counter) noexcept { counter.store(0, std::memory_order_release); }
};

// Scoped borrow; check `held()` after construction.
template <class Kind> class BorrowGuard {
public:
    explicit BorrowGuard(BorrowCounter& counter) noexcept
        : counter_(Kind::try_acquire(counter) ? &counter : nullptr) {}
    BorrowGuard(const BorrowGuard&) = delete;
    BorrowGuard& operator=(const BorrowGuard&) = delete;
    ~BorrowGuard() {
        if (counter_) Kind::release(*counter_);
    }
    bool held() const noexcept { return counter_ != nullptr; }

private:
    BorrowCounter* counter_;
};

using ReadGuard = BorrowGuard<ReadBorrow>;
using WriteGuard = BorrowGuard<WriteBorrow>;

// Runs `f()` under a borrow of `counter` (Kind is ReadBorrow or WriteBorrow)
// and returns true; when the borrow is refused, raises RuntimeError with the
// refusal's message and returns false without running `f`.
template <class Kind, class F> bool with_borrow(BorrowCounter& counter, F&& f) {
    BorrowGuard<Kind> borrow(counter);
    if (!borrow.held()) {
        raise(PyExc_RuntimeError, Kind::refused);
        return false;
    }
    std::forward<F>(f)();
    return true;
}

}  // namespace vorna::bindings
