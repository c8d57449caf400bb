// Helpers for raising Python exceptions at the boundary.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "core/platform/fault.hpp"

namespace vorna::bindings {

// Raises `type` with a UTF-8 message; returns null for `return raise(...)`.
PyObject* raise(PyObject* type, std::string_view message);

// Makes sure an error is set after a host call failed: when the host set
// none, raises SystemError "attempted to fetch exception but none was set".
void ensure_error_set();

// Raises `type` with `message`, chained to the error now set: the pending
// error becomes the new one's __cause__ (and __context__).
void raise_from_pending(PyObject* type, std::string_view message);

// TypeError "<function>() got an unexpected keyword argument '<key>'". The key
// is quoted as the str it is, so one that has no UTF-8 form (a lone
// surrogate) is still a binding error rather than an encoding one.
PyObject* raise_unexpected_keyword(const char* function, PyObject* key);

// Runs a slot's body. The core throws std::bad_alloc when memory runs out
// and std::length_error for a value too large for its storage (version lists
// of 4 GiB or more); both become MemoryError here. Any other std::exception is
// a broken invariant. Nothing else is caught: the host's forced unwind (a
// thread that takes the interpreter lock back while the interpreter finalizes
// is ended by pthread_exit on 3.9 to 3.13, wherever Python code the body ran
// gave the lock up) must pass every frame, so this one is not noexcept and
// has no catch-all, which libc++ would enter and could not leave by
// rethrowing. The failure value is null for object slots and -1 for int
// slots.
template <class Body> auto guarded(Body&& body) -> decltype(body()) {
    using R = decltype(body());
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error&) {
        PyErr_NoMemory();
    } catch (const std::exception&) {
        internal_fault("unexpected C++ exception at the Python boundary");
    }
    if constexpr (std::is_same_v<R, int>) {
        return -1;
    } else {
        return nullptr;
    }
}

}  // namespace vorna::bindings
