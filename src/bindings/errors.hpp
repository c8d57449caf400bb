// Helpers for raising Python exceptions at the boundary.
#pragma once

#include <Python.h>

#include <string_view>

namespace vorna::bindings {

// Raises `type` with a UTF-8 message; returns null for `return raise(...)`.
PyObject* raise(PyObject* type, std::string_view message) noexcept;

// Makes sure an error is set after a host call failed: when the host set
// none, raises SystemError "attempted to fetch exception but none was set".
void ensure_error_set() noexcept;

// Raises `type` with `message`, chained to the error now set: the pending
// error becomes the new one's __cause__ (and __context__).
void raise_from_pending(PyObject* type, std::string_view message) noexcept;

}  // namespace vorna::bindings
