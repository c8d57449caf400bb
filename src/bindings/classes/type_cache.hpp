// The class object of one class, created from its type description on first
// use and kept for the process.
#pragma once

#include <Python.h>

#include "bindings/runtime/once_object.hpp"
#include "bindings/runtime/py_ref.hpp"

namespace vorna::bindings {

// A failed creation leaves the cache empty; the next call retries.
class TypeCache {
public:
    explicit constexpr TypeCache(PyType_Spec& type_spec, vectorcallfunc vectorcall = nullptr) noexcept
        : type_spec_(type_spec), vectorcall_(vectorcall) {}

    // Borrowed reference, or null with an error set.
    PyTypeObject* get() {
        return type_.get([this] { return create(); });
    }

private:
    // A new class object, or an empty reference with an error set.
    PyRef create();

    PyType_Spec& type_spec_;
    // Calls of the class object itself, when the class answers them without
    // the generic type call (no argument tuple, no __init__ lookup).
    vectorcallfunc vectorcall_;
    OnceObject<PyTypeObject> type_;
};

}  // namespace vorna::bindings
