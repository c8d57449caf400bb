// How each attribute of the module tree is added (a member, a submodule, a
// function, a class). Each keeps the target module's __all__ in step with
// its attributes.
#pragma once

#include <Python.h>

#include "bindings/api.hpp"

namespace vorna::bindings {

// Appends `name` to the target's __all__ (creating the list when missing),
// then sets the attribute. Returns false with an error set on failure.
bool add_member(PyObject* target, PyObject* name, PyObject* value);
// Adds `submodule` under its own __name__.
bool add_submodule(PyObject* target, PyObject* submodule);
// Creates a built-in function bound to `target` from `def` (which must live
// for the process) and adds it under its __name__.
bool add_function(PyObject* target, PyMethodDef* def);
// Fetches (creating on first use) the class and adds it under its name. A
// failed creation raises RuntimeError "An error occurred while initializing
// class NAME" with the underlying error as its cause.
bool add_class(PyObject* target, const api::Class& entry);

}  // namespace vorna::bindings
