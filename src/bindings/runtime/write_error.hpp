// The Python exception for a failed write to a standard stream.
#pragma once

#include <Python.h>

#include <string_view>
#include <system_error>

namespace vorna::bindings {

// Raises the OSError subclass that Python uses for the error's errno (for
// example BrokenPipeError for EPIPE), with `errno` and `strerror` set and the
// text "failed printing to " + `stream` + ": " + the error's text as its
// str(). Returns null for `return raise_write_error(...)`.
PyObject* raise_write_error(std::string_view stream, std::error_code error) noexcept;

}  // namespace vorna::bindings
