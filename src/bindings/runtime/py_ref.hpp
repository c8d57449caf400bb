// An owned reference to a Python object, released when the handle goes.
#pragma once

#include <Python.h>

#include <utility>

#include "bindings/runtime/interpreter_lock.hpp"

namespace vorna::bindings {

class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new reference (may be null, as returned by a failed call).
    static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
    // Adds a reference to a borrowed object.
    static PyRef borrow(PyObject* object) noexcept {
        Py_XINCREF(object);
        return PyRef(object);
    }

    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) {
        PyRef(std::move(other)).swap(*this);
        return *this;
    }
    // Released only with the interpreter lock held. A handle goes without it
    // only when the host's forced unwind ends a thread that took the lock
    // back while the interpreter finalizes: the reference is then left, as
    // the host leaves those of its own frames. Not noexcept: the release may
    // run Python code (a __del__), which the host may end the same way.
    ~PyRef() noexcept(false) {
        if (object_ && may_release_references()) Py_DECREF(object_);
    }

    void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the reference to the caller (for returning it to the interpreter).
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

private:
    explicit PyRef(PyObject* object) noexcept : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace vorna::bindings
