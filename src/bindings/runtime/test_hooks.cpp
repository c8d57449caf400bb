#include "bindings/runtime/test_hooks.hpp"

#include <Python.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>

#include "bindings/runtime/interpreter_lock.hpp"
#include "bindings/runtime/py_ref.hpp"

#include "core/log/log.hpp"

namespace vorna::bindings::test_hooks {

namespace {

// What the next property store throws: 0 nothing, 1 std::bad_alloc,
// 2 std::length_error (as a value of 4 GiB or more makes it), 3 an exception
// the boundary does not expect.
std::atomic<int> armed_store_failure{0};
std::atomic<bool> armed_record_failure{false};
// The same for the next parse report.
std::atomic<int> armed_report_failure{0};
// What the next property store calls while it holds the writer borrow (a
// strong reference), or null. Read and written with the interpreter lock.
PyObject* armed_store_call = nullptr;
std::atomic<bool> armed_take_back_hold{false};

void throw_armed(std::atomic<int>& armed) {
    switch (armed.exchange(0, std::memory_order_relaxed)) {
        case 1: throw std::bad_alloc();
        case 2: throw std::length_error("version lists of 4 GiB or more");
        case 3: throw std::runtime_error("injected");
        default: return;
    }
}

}  // namespace

void before_store() {
    if (PyRef call = PyRef::steal(std::exchange(armed_store_call, nullptr))) {
        // The callable reports through its own state; an exception it lets
        // out is dropped, as the store goes on.
        if (!PyRef::steal(PyObject_CallNoArgs(call.get()))) PyErr_Clear();
    }
    throw_armed(armed_store_failure);
}

void before_record_close() {
    if (armed_record_failure.exchange(false, std::memory_order_relaxed)) throw std::bad_alloc();
}

void before_report() { throw_armed(armed_report_failure); }

void before_taking_the_interpreter_lock_back() noexcept {
    if (!armed_take_back_hold.exchange(false, std::memory_order_relaxed)) return;
    while (!interpreter_finalizing()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace vorna::bindings::test_hooks

extern "C" {

// Arms the next property store to throw (see armed_store_failure).
__attribute__((visibility("default"))) void vorna_test_fail_next_store(int kind) {
    vorna::bindings::test_hooks::armed_store_failure.store(kind, std::memory_order_relaxed);
}

// Arms the end of the next API record to run out of memory.
__attribute__((visibility("default"))) void vorna_test_fail_next_api_record() {
    vorna::bindings::test_hooks::armed_record_failure.store(true, std::memory_order_relaxed);
}

// Arms the next parse report to throw (see armed_store_failure).
__attribute__((visibility("default"))) void vorna_test_fail_next_report(int kind) {
    vorna::bindings::test_hooks::armed_report_failure.store(kind, std::memory_order_relaxed);
}

// Arms the next property store to call `callable` while it holds the
// instance's writer borrow.
__attribute__((visibility("default"))) void vorna_test_call_in_next_store(PyObject* callable) {
    using vorna::bindings::PyRef;
    PyRef previous =
        PyRef::steal(std::exchange(vorna::bindings::test_hooks::armed_store_call, PyRef::borrow(callable).release()));
}

// Arms the next test_function call, on whichever thread, to wait after its
// write until the interpreter finalizes before it takes the interpreter lock
// back.
__attribute__((visibility("default"))) void vorna_test_hold_next_take_back() {
    vorna::bindings::test_hooks::armed_take_back_hold.store(true, std::memory_order_relaxed);
}

// Logs one INFO record with `message`, as code of the module that logs would,
// on the calling thread (with the interpreter lock held under ctypes.PyDLL),
// giving the interpreter lock up around the record's write as the module's
// callers of standard output do.
__attribute__((visibility("default"))) void vorna_test_log(const char* message) {
    PyThreadState* const thread = vorna::bindings::holds_interpreter_lock() ? PyEval_SaveThread() : nullptr;
    VORNA_LOG(vorna::log::Level::info, "vorna::tests", {"message", message});
    if (thread) PyEval_RestoreThread(thread);
}

}
