// A Python object made on first use and kept for the process, the first one
// stored winning (see FirstStored): class objects, interned names, the
// write-error classes. Making one can run a collection and with it Python
// code that lets another thread in, so two threads may make one each; the
// loser's is dropped. A failed making stores nothing, and the next use
// tries again.
#pragma once

#include <Python.h>

#include "bindings/runtime/py_ref.hpp"
#include "core/platform/first_stored.hpp"

namespace vorna::bindings {

template <class T = PyObject> class OnceObject {
public:
    constexpr OnceObject() noexcept = default;

    // Borrowed reference, made by `make()` (a PyRef of a new object, or an
    // empty one with an error set) when there is none yet; null with the
    // error when making it failed.
    template <class Make> T* get(Make&& make) {
        if (T* object = slot_.load()) [[likely]] return object;
        PyRef made = make();
        if (!made) return nullptr;
        T* const candidate = reinterpret_cast<T*>(made.get());
        T* const stands = slot_.store_first(candidate);
        if (stands == candidate) static_cast<void>(made.release());  // kept for the process
        return stands;
    }

private:
    FirstStored<T*> slot_;
};

}  // namespace vorna::bindings
