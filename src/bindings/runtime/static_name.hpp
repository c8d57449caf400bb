// A str made once on first use and kept for the process (attribute and
// keyword names). A failed creation (out of memory) stores nothing, so the
// next use tries again.
#pragma once

#include <Python.h>

#include "bindings/runtime/once_object.hpp"
#include "bindings/runtime/py_ref.hpp"

namespace vorna::bindings {

class StaticName {
public:
    explicit constexpr StaticName(const char* text) noexcept : text_(text) {}
    // Borrowed reference, or null with an error set.
    PyObject* get() noexcept {
        return object_.get([this] { return PyRef::steal(PyUnicode_InternFromString(text_)); });
    }
    const char* text() const noexcept { return text_; }

private:
    const char* text_;
    OnceObject<> object_;
};

}  // namespace vorna::bindings
