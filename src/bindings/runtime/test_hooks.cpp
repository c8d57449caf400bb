#include "bindings/runtime/test_hooks.hpp"

#include <Python.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>

#include "bindings/classes/classes.hpp"
#include "bindings/classes/instance.hpp"
#include "bindings/runtime/interpreter_lock.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/strings.hpp"

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
// Characters added to the next parse report's measured length.
std::atomic<int> armed_report_skew{0};
// Characters added to the length of the next str made from a count.
std::atomic<int> armed_str_skew{0};
std::atomic<int> armed_site_fault{0};
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

void after_report_measure(TextMeasure& size) noexcept {
    size.length += static_cast<std::size_t>(armed_report_skew.exchange(0, std::memory_order_relaxed));
}

void after_str_measure(std::size_t& length) noexcept {
    length += static_cast<std::size_t>(armed_str_skew.exchange(0, std::memory_order_relaxed));
}

SiteFault next_site_fault() noexcept {
    return static_cast<SiteFault>(armed_site_fault.exchange(0, std::memory_order_relaxed));
}

namespace {

// The lists of the value an instance of a version class holds, or null.
template <class T> const void* placed_block_of(PyObject* object) {
    const T& value = instance_of<T>(object)->value.get();
    if constexpr (std::is_same_v<T, Version>) {
        return value.visit([](const auto& inner) { return inner.lists.placed_block(); });
    } else {
        return value.lists.placed_block();
    }
}

}  // namespace

void before_taking_the_interpreter_lock_back() noexcept {
    if (!armed_take_back_hold.exchange(false, std::memory_order_relaxed)) return;
    // Asked without the interpreter lock.
#if PY_VERSION_HEX >= 0x030D0000
    while (Py_IsFinalizing() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
#else
    while (_Py_IsFinalizing() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
#endif
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

// Arms the next parse report to be measured `characters` longer (or, when
// negative, shorter) than it is drawn.
__attribute__((visibility("default"))) void vorna_test_skew_next_report_measure(int characters) {
    vorna::bindings::test_hooks::armed_report_skew.store(characters, std::memory_order_relaxed);
}

// Arms the next str made from a count of its own (a text form, a long text)
// to be made `characters` longer (or, when negative, shorter) than counted.
__attribute__((visibility("default"))) void vorna_test_skew_next_str(int characters) {
    vorna::bindings::test_hooks::armed_str_skew.store(characters, std::memory_order_relaxed);
}

// Arms the next property store to call `callable` while it holds the
// instance's writer borrow.
__attribute__((visibility("default"))) void vorna_test_call_in_next_store(PyObject* callable) {
    using vorna::bindings::PyRef;
    PyRef previous =
        PyRef::steal(std::exchange(vorna::bindings::test_hooks::armed_store_call, PyRef::borrow(callable).release()));
}

// Arms the next instance made for a parsed value (see SiteFault).
__attribute__((visibility("default"))) void vorna_test_fault_next_site(int kind) {
    vorna::bindings::test_hooks::armed_site_fault.store(kind, std::memory_order_relaxed);
}

// 1 when the block of lists of `object`, an instance of a version class,
// lies in the instance's own tail; 0 when it lies elsewhere or there is none.
__attribute__((visibility("default"))) int vorna_test_block_in_tail(PyObject* object) {
    using namespace vorna;
    using namespace vorna::bindings;
    PyTypeObject* type = Py_TYPE(object);
    const void* block = type == semver_type()          ? test_hooks::placed_block_of<SemVer>(object)
                        : type == dot_separated_type() ? test_hooks::placed_block_of<DotSeparated>(object)
                        : type == other_type()         ? test_hooks::placed_block_of<Other>(object)
                                                       : test_hooks::placed_block_of<Version>(object);
    return block == reinterpret_cast<const char*>(object) + tail_offset(type);
}

// Arms the next test_function call, on whichever thread, to wait after its
// write until the interpreter finalizes before it takes the interpreter lock
// back.
__attribute__((visibility("default"))) void vorna_test_hold_next_take_back() {
    vorna::bindings::test_hooks::armed_take_back_hold.store(true, std::memory_order_relaxed);
}

// Leaves `leftover` in the calling thread's render buffer, as a render that
// failed part way through (its exception out of the middle of a form) does.
__attribute__((visibility("default"))) void vorna_test_leave_in_render_buffer(const char* leftover) {
    vorna::bindings::render_buffer().append(leftover);
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
