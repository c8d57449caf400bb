// Python str objects from and to the UTF-8 texts of the core.
#pragma once

#include <Python.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vorna::bindings {

// The UTF-8 text of a str that is not compact ASCII; its buffer is cached in
// the str.
std::optional<std::string_view> utf8_of_wide(PyObject* text) noexcept;

// The UTF-8 text of a str (or subclass), followed by a NUL byte that may be
// read. An ASCII str is its own UTF-8, read where it lies without a call.
inline std::optional<std::string_view> utf8_of(PyObject* text) noexcept {
    if (PyUnicode_IS_COMPACT_ASCII(text)) [[likely]] {
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(text)),
                                static_cast<std::size_t>(PyUnicode_GET_LENGTH(text)));
    }
    return utf8_of_wide(text);
}

// A new compact ASCII str of `length` characters, not yet written (its
// length as a test build may skew it); null with the host's error.
PyObject* new_ascii_str(std::size_t length) noexcept;
// The characters of such a str, as long as the str itself says it is.
std::span<char> ascii_storage(PyObject* str) noexcept;

// A str of UTF-8 text, in one walk to measure it and one to write it; text
// that is not valid UTF-8 is decoded with replacement characters.
PyObject* str_from_utf8(std::string_view text) noexcept;

// The per-thread buffer the text forms are rendered into; empty on return.
// Made on a thread's first call (throws std::bad_alloc) and freed when the
// thread ends.
std::string& render_buffer();
// Makes the str from the buffer and empties it (dropping its storage when a
// huge text made it grow).
PyObject* str_from_render_buffer(std::string& buffer) noexcept;

}  // namespace vorna::bindings
