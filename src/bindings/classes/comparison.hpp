// Rich comparison of the version classes: instances of one class compare by
// the model's equality and order.
#pragma once

#include <Python.h>

#include <concepts>

#include "bindings/runtime/borrow.hpp"
#include "bindings/classes/instance.hpp"
#include "core/platform/inlining.hpp"

namespace vorna::bindings {

// A model type with a strict order of its own that a sort (which asks only
// "<") is quicker with than with the three-way one.
template <class T> concept HasIsLess = requires(const T& a) {
    { is_less(a, a) } -> std::same_as<bool>;
};

// Whether `a op b` holds for one of the six rich comparison operators.
template <class T> VORNA_ALWAYS_INLINE bool compares(const T& a, const T& b, int op) noexcept {
    switch (op) {
        case Py_EQ: return a == b;
        case Py_NE: return !(a == b);
        case Py_LT:
            if constexpr (HasIsLess<T>) return is_less(a, b);
            return (a <=> b) < 0;
        case Py_LE: return (a <=> b) <= 0;
        case Py_GT:
            if constexpr (HasIsLess<T>) return is_less(b, a);
            return (a <=> b) > 0;
        default: return (a <=> b) >= 0;
    }
}

enum class Comparison { False, True, NotImplemented };

// A writer holding either operand gives NotImplemented, the same for both
// sides: Python then tries the reflected operation, which meets the same
// writer, and falls back to its default (identity for == and !=, TypeError
// for the orderings).
template <class T> Comparison compare_values(Instance<T>* left, PyObject* other, PyTypeObject* type, int op) noexcept {
    ReadGuard left_borrow(left->borrow);
    if (!left_borrow.held()) return Comparison::NotImplemented;
    if (op < Py_LT || op > Py_GE || !PyObject_TypeCheck(other, type)) return Comparison::NotImplemented;
    auto* right = instance_of<T>(other);
    ReadGuard right_borrow(right->borrow);
    if (!right_borrow.held()) return Comparison::NotImplemented;

    return compares(left->value.get(), right->value.get(), op) ? Comparison::True : Comparison::False;
}

// The comparison of anything but two free instances of the class.
template <ClassObject Class> VORNA_NOINLINE PyObject* richcompare_checked(PyObject* self, PyObject* other, int op) noexcept;

// Instances of the same class compare by the model's equality and order;
// anything else is NotImplemented, so Python falls back to its defaults.
template <ClassObject Class> PyObject* richcompare_slot(PyObject* self, PyObject* other, int op) noexcept {
    using T = typename Class::Value;
    if constexpr (lock_serialises_borrows) {
        // Two instances of the class (sorting makes nothing else): a reader
        // borrow taken and given back around a comparison, which runs no
        // Python code, amounts to finding no writer, so that is all done.
        // Everything else is left to a call of its own, so that this path,
        // which a sort takes for every comparison, calls nothing and saves
        // no registers. Only the class object of `Class` has this very slot
        // (the class cannot be subclassed), so the slot tells the class.
        if (Py_TYPE(self) == Py_TYPE(other) && op >= Py_LT && op <= Py_GE &&
            Py_TYPE(self)->tp_richcompare == &richcompare_slot<Class>) [[likely]] {
            auto* left = instance_of<T>(self);
            auto* right = instance_of<T>(other);
            if (left->borrow.load(std::memory_order_relaxed) >= 0 && right->borrow.load(std::memory_order_relaxed) >= 0) {
                // Picked from a table rather than by a branch on the answer,
                // which a sort cannot predict (it branches on it itself).
                PyObject* const answers[2] = {Py_False, Py_True};
                PyObject* answer = answers[compares(left->value.get(), right->value.get(), op)];
                Py_INCREF(answer);
                return answer;
            }
        }
    }
    return richcompare_checked<Class>(self, other, op);
}

template <ClassObject Class> PyObject* richcompare_checked(PyObject* self, PyObject* other, int op) noexcept {
    using T = typename Class::Value;
    PyTypeObject* type = Class::type();
    if (!type) {
        PyErr_Clear();
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (!PyObject_TypeCheck(self, type)) Py_RETURN_NOTIMPLEMENTED;
    switch (compare_values(instance_of<T>(self), other, type, op)) {
        case Comparison::False: Py_RETURN_FALSE;
        case Comparison::True: Py_RETURN_TRUE;
        case Comparison::NotImplemented: break;
    }
    Py_RETURN_NOTIMPLEMENTED;
}

}  // namespace vorna::bindings
