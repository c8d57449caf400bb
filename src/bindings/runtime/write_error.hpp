// The Python exception for a failed write to a standard stream.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string_view>
#include <system_error>

namespace vorna::bindings {

// Raises the OSError subclass that Python uses for the error's errno (for
// example BrokenPipeError for EPIPE), with `errno` and `strerror` set and the
// text "failed printing to " + `stream` + ": " + the error's text as its
// str(). A BlockingIOError carries `written`, the bytes that went out before
// the stream refused more, as its `characters_written`. The exception copies
// as itself and pickles as Python's own class for the errno, with `errno`,
// `strerror` and the message as its `args`. Returns null for
// `return raise_write_error(...)`.
PyObject* raise_write_error(std::string_view stream, std::error_code error, std::size_t written = 0);

}  // namespace vorna::bindings
