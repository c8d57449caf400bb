// Conversions between Python objects and the numbers, texts and lists of the
// version model, used by the constructors and the properties of the classes.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/model/packed_lists.hpp"

namespace vorna::bindings {

// Each from_python fills `out` and returns true, or returns false with a
// Python error set and `out` untouched. They run Python code of the argument
// (__index__, __len__, __iter__) and may throw std::bad_alloc.

// An int (bool included) or an object with __index__, from 0 to 4294967295.
// Values from 2**32 to 2**64 - 1 raise OverflowError "out of range integral
// type conversion attempted"; negative and larger ones the host's
// OverflowError.
bool from_python(PyObject* object, std::uint32_t& out);
// A str or a subclass of str, taken as UTF-8 (lone surrogates raise the
// host's UnicodeEncodeError). NUL characters are kept.
bool from_python(PyObject* object, Text& out);
// Any sequence of str in iteration order; a str itself is refused (it is not
// split into characters), and so is anything that is not a sequence (sets,
// dicts, generators, iterators).
bool from_python(PyObject* object, TextList& out);
// None gives an absent list; anything else is a list of parts.
bool from_python(PyObject* object, std::optional<TextList>& out);

// New Python objects for the model's fields, or null with an error set.
PyObject* to_python(std::uint32_t value);
PyObject* to_python(std::string_view value);
PyObject* to_python(const ListView& value);
PyObject* to_python(const std::optional<ListView>& value);

// After a failed conversion of a setter's argument: a pending TypeError is
// replaced by TypeError "argument '<parameter>': <its message>", whose
// __cause__ is the first error's own __cause__. Other errors stay as they are.
void prefix_argument_name(const char* parameter);

}  // namespace vorna::bindings
