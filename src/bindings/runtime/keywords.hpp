// The keyword arguments of the kind classes' constructors: looking them up,
// converting them and refusing the ones a class does not accept.
#pragma once

#include <Python.h>

#include <optional>
#include <span>
#include <string_view>

#include "bindings/runtime/conversions.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/static_name.hpp"

namespace vorna::bindings {

// Looks a keyword up: true with `out` set to a new reference (empty when the
// keyword is missing), or false with an error set.
bool find_keyword(PyObject* kwargs, StaticName& name, PyRef& out) noexcept;

// Converts keyword `name` into `out`; a missing one raises `missing_type`
// with `missing_message`. Conversion errors are raised unchanged.
template <class T>
bool required_keyword(PyObject* kwargs, StaticName& name, T& out, PyObject* missing_type,
                      const char* missing_message) {
    PyRef value;
    if (!find_keyword(kwargs, name, value)) return false;
    if (!value) {
        raise(missing_type, missing_message);
        return false;
    }
    return from_python(value.get(), out);
}

// Converts keyword `name` into `out`; missing or None leaves it absent.
bool optional_keyword(PyObject* kwargs, StaticName& name, std::optional<TextList>& out);

// ValueError "'<key>' is an invalid keyword argument for <class>()" for the
// first key, in dictionary order, that is not one of `accepted`.
bool check_keywords(PyObject* kwargs, std::span<StaticName* const> accepted, std::string_view class_name);

}  // namespace vorna::bindings
