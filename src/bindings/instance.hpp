// The layout of an instance of one of the version classes: the object
// header, the wrapped model value and the borrow counter.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include "bindings/borrow.hpp"

namespace vorna::bindings {

template <class T> struct Instance {
    PyObject_HEAD
    T value;
    BorrowCounter borrow;

    static Instance* from(PyObject* object) noexcept { return reinterpret_cast<Instance*>(object); }
};

}  // namespace vorna::bindings
