// The import entry point and the module tree:
//   vorna                  package, test_function, init_tracing
//   vorna.package          version
//   vorna.package.version  Version, SemVer, DotSeparated, Other
// The submodules are attributes only; they are never entered in sys.modules.

#include <Python.h>

#include <atomic>
#include <cstdint>

#include "bindings/classes.hpp"
#include "bindings/errors.hpp"
#include "bindings/functions.hpp"
#include "bindings/module_tree.hpp"
#include "bindings/once_cell.hpp"
#include "bindings/py_ref.hpp"

namespace vorna::bindings {

namespace {

constexpr int api_version = 1013;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "vorna",
    "Parse, inspect, edit, print and compare software version strings.",
    0,        // no per-module state: everything the module keeps is process-wide
    nullptr,  // functions are attached by the module body
    nullptr, nullptr, nullptr, nullptr,
};

constexpr ClassEntry version_classes[] = {
    {"Version", version_type},
    {"SemVer", semver_type},
    {"DotSeparated", dot_separated_type},
    {"Other", other_type},
};

// Fills a freshly created top module. The first failure stops the body;
// what was created so far is released by the handles.
bool module_body(PyObject* top) {
    PyRef package = PyRef::steal(PyModule_New("package"));
    if (!package) return false;
    PyRef version = PyRef::steal(PyModule_New("version"));
    if (!version) return false;
    for (const ClassEntry& entry : version_classes) {
        if (!add_class(version.get(), entry)) return false;
    }
    return add_submodule(package.get(), version.get()) && add_submodule(top, package.get()) &&
           add_function(top, &test_function_def) && add_function(top, &init_tracing_def);
}

PyObject* create_module() {
    PyRef module = PyRef::steal(PyModule_Create2(&module_definition, api_version));
    if (!module) return nullptr;
    if (!module_body(module.get())) return nullptr;
    return module.release();
}

// The ID of the first interpreter that imported the module; -1 before.
std::atomic<std::int64_t> first_interpreter{-1};
PyOnceCell module_cache;

}  // namespace

PyObject* init_module() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        ensure_error_set();
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!first_interpreter.compare_exchange_strong(expected, id) && expected != id) {
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
