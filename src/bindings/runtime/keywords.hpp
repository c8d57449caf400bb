// The keyword arguments of the kind classes' constructors: looking them up,
// converting them and refusing the ones a class does not accept.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "bindings/runtime/conversions.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/static_name.hpp"

namespace vorna::bindings {

// The keyword arguments of one call, each matched by its text to one of the
// names a class accepts. Identity settles the interned names that callers
// nearly always pass; any other str, a subclass with its own hash or
// equality included, is compared by its text, as a Python function binds it.
class Keywords {
public:
    static constexpr std::size_t max_names = 5;

    // Matches every key of `kwargs` to one of `accepted` (at most max_names),
    // holding the values. False with an error set: TypeError "<class>() got
    // multiple values for argument '<name>'" when two keys have one name's
    // text.
    bool match(PyObject* kwargs, std::span<StaticName* const> accepted, std::string_view class_name);
    // The value given for `name`, one of the accepted names (borrowed from
    // this object), or null when none was given.
    PyObject* find(const StaticName& name) const noexcept;
    // ValueError "'<key>' is an invalid keyword argument for <class>()" for
    // the first key, in dictionary order, that is no accepted name.
    bool check(std::string_view class_name) const;

private:
    std::span<StaticName* const> accepted_;
    std::array<PyRef, max_names> values_;
    PyRef unexpected_;
};

// Converts keyword `name` into `out`; a missing one raises `missing_type`
// with `missing_message`. Conversion errors are raised unchanged.
template <class T>
bool required_keyword(const Keywords& kwargs, const StaticName& name, T& out, PyObject* missing_type,
                      const char* missing_message) {
    PyObject* value = kwargs.find(name);
    if (!value) {
        raise(missing_type, missing_message);
        return false;
    }
    return from_python(value, out);
}

// Converts keyword `name` into `out`; missing or None leaves it absent.
bool optional_keyword(const Keywords& kwargs, const StaticName& name, std::optional<TextList>& out);

}  // namespace vorna::bindings
