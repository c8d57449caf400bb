// A once-cell for one Python object, filled by one thread while others wait
// with the interpreter lock released. A failed fill leaves it empty, and the
// next caller tries again.
#pragma once

#include <Python.h>
#include <pythread.h>

#include <atomic>

#include "bindings/runtime/errors.hpp"

namespace vorna::bindings {

class PyOnceCell {
public:
    // Returns a new reference to the stored object, running `fill` (which
    // returns a new reference, or null with an error set) when the cell is
    // empty. Must be called with the interpreter lock held. A call made by
    // the filling thread itself while it fills (from a finalizer or a
    // collector callback run by the fill) cannot wait for the fill beneath
    // it: it raises ImportError with `reentry_message` instead.
    template <class Fill> PyObject* get_or_fill(Fill&& fill, const char* reentry_message) {
        const unsigned long me = PyThread_get_thread_ident();
        for (;;) {
            State expected = State::Empty;
            if (state_.compare_exchange_strong(expected, State::Filling)) {
                filler_.store(me, std::memory_order_relaxed);
                PyObject* object = fill();
                filler_.store(no_thread, std::memory_order_relaxed);
                if (!object) {
                    state_.store(State::Empty);
                    state_.notify_all();
                    return nullptr;
                }
                object_ = object;  // the cell keeps this reference for the process
                state_.store(State::Filled);
                state_.notify_all();
                Py_INCREF(object_);
                return object_;
            }
            if (expected == State::Filled) {
                Py_INCREF(object_);
                return object_;
            }
            // Only this thread ever stores its own ident, and it clears it
            // before the fill returns: seeing it means the fill is below us.
            if (filler_.load(std::memory_order_relaxed) == me) return raise(PyExc_ImportError, reentry_message);
            // Another thread is filling: wait for it without the lock.
            Py_BEGIN_ALLOW_THREADS
            state_.wait(State::Filling);
            Py_END_ALLOW_THREADS
        }
    }

private:
    enum class State : int { Empty, Filling, Filled };
    static constexpr unsigned long no_thread = 0;
    std::atomic<State> state_{State::Empty};
    std::atomic<unsigned long> filler_{no_thread};
    PyObject* object_ = nullptr;
};

}  // namespace vorna::bindings
