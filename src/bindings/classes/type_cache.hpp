// The class object of one class, created from its type description on first
// use and kept for the process.
#pragma once

#include <Python.h>

#include <atomic>

namespace vorna::bindings {

// A failed creation leaves the cache empty; the next call retries.
class TypeCache {
public:
    explicit constexpr TypeCache(PyType_Spec& type_spec, vectorcallfunc vectorcall = nullptr) noexcept
        : type_spec_(type_spec), vectorcall_(vectorcall) {}

    // Borrowed reference, or null with an error set.
    PyTypeObject* get() noexcept {
        if (PyTypeObject* type = type_.load(std::memory_order_acquire)) return type;
        return create();
    }

private:
    PyTypeObject* create() noexcept;

    PyType_Spec& type_spec_;
    // Calls of the class object itself, when the class answers them without
    // the generic type call (no argument tuple, no __init__ lookup).
    vectorcallfunc vectorcall_;
    std::atomic<PyTypeObject*> type_{nullptr};
};

}  // namespace vorna::bindings
