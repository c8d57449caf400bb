// A once-cell for one Python object, filled by one thread while others wait
// with the interpreter lock released. A failed fill leaves it empty, and the
// next caller tries again.
#pragma once

#include <Python.h>

#include <atomic>

namespace vorna::bindings {

class PyOnceCell {
public:
    // Returns a new reference to the stored object, running `fill` (which
    // returns a new reference, or null with an error set) when the cell is
    // empty. Must be called with the interpreter lock held.
    template <class Fill> PyObject* get_or_fill(Fill&& fill) {
        for (;;) {
            State expected = State::Empty;
            if (state_.compare_exchange_strong(expected, State::Filling)) {
                PyObject* object = fill();
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
            // Another thread is filling: wait for it without the lock.
            Py_BEGIN_ALLOW_THREADS
            state_.wait(State::Filling);
            Py_END_ALLOW_THREADS
        }
    }

private:
    enum class State : int { Empty, Filling, Filled };
    std::atomic<State> state_{State::Empty};
    PyObject* object_ = nullptr;
};

}  // namespace vorna::bindings
