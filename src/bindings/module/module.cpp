// The import entry point: the module is made once per process, its tree
// filled as api::module_tree() declares it.
#include "bindings/module/module.hpp"

#include <cstdint>

#include "bindings/api.hpp"
#include "bindings/classes/classes.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/module/attributes.hpp"
#include "bindings/runtime/once_cell.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "core/platform/first_stored.hpp"

namespace vorna::bindings {

namespace {

// The C API version the module declares at creation: 1013, which is
// PYTHON_API_VERSION in every CPython 3 release; the host warns when the
// number differs from its own.
constexpr int api_version = 1013;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "vorna",
    api::module_tree().doc,
    0,        // no per-module state: everything the module keeps is process-wide
    nullptr,  // functions are attached by the module body
    nullptr, nullptr, nullptr, nullptr,
};

// Fills `target` as `declared` says: its classes, then each submodule made
// complete before it is attached, then its functions. The first failure
// stops the body; what was created so far is released by the handles.
bool fill_module(PyObject* target, const api::Module& declared) {
    for (const api::Class* entry : declared.classes) {
        if (!add_class(target, *entry)) return false;
    }
    for (const api::Module* submodule : declared.submodules) {
        PyRef created = PyRef::steal(PyModule_New(submodule->name));
        if (!created) return false;
        if (PyModule_SetDocString(created.get(), submodule->doc) < 0) return false;
        if (!fill_module(created.get(), *submodule) || !add_submodule(target, created.get())) return false;
    }
    for (const api::Function* function : declared.functions) {
        if (!add_function(target, function->definition)) return false;
    }
    return true;
}

bool module_body(PyObject* top) { return fill_module(top, api::module_tree()); }

PyObject* create_module() {
    PyRef module = PyRef::steal(PyModule_Create2(&module_definition, api_version));
    if (!module) return nullptr;
    if (!module_body(module.get())) return nullptr;
    return module.release();
}

// The ID of the first interpreter that imported the module; -1 before.
FirstStored<std::int64_t, -1> first_interpreter;
PyOnceCell module_cache;

}  // namespace

PyObject* init_module() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        ensure_error_set();
        return nullptr;
    }
    if (first_interpreter.store_first(id) != id) {
        return raise(PyExc_ImportError,
                     "vorna was already imported by another interpreter in this process; extension modules "
                     "of its kind do not yet support subinterpreters, see "
                     "https://github.com/python/cpython/issues?q=label%3Atopic-subinterpreters");
    }
    return module_cache.get_or_fill(create_module,
                                    "vorna is being initialised by this thread: an import from code that runs "
                                    "inside its first import (a finalizer or a garbage-collector callback) "
                                    "cannot wait for it");
}

}  // namespace vorna::bindings

PyMODINIT_FUNC PyInit_vorna() { return vorna::bindings::init_module(); }
