#include "bindings/module/attributes.hpp"

#include <string>

#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/static_name.hpp"

namespace vorna::bindings {

namespace {

StaticName all_name("__all__");
StaticName name_name("__name__");

// The target's __all__ list, created empty when the attribute is missing.
PyRef all_list(PyObject* target) {
    PyObject* key = all_name.get();
    if (!key) return {};
    PyRef all = PyRef::steal(PyObject_GetAttr(target, key));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return {};
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttr(target, key, all.get()) < 0) return {};
        return all;
    }
    if (!PyList_Check(all.get())) {
        raise(PyExc_TypeError, "'__all__' cannot be converted to 'list'");
        return {};
    }
    return all;
}

}  // namespace

bool add_member(PyObject* target, PyObject* name, PyObject* value) {
    PyRef all = all_list(target);
    if (!all) return false;
    // Out of memory is the one way the append fails; the half-built tree
    // is thrown away, so __all__ and the attributes cannot drift apart.
    if (PyList_Append(all.get(), name) < 0) return false;
    return PyObject_SetAttr(target, name, value) == 0;
}

bool add_submodule(PyObject* target, PyObject* submodule) {
    PyRef name = PyRef::steal(PyModule_GetNameObject(submodule));
    return name && add_member(target, name.get(), submodule);
}

bool add_function(PyObject* target, PyMethodDef* def) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(target));
    if (!module_name) return false;
    PyRef function = PyRef::steal(PyCMethod_New(def, target, module_name.get(), nullptr));
    if (!function) return false;
    PyObject* key = name_name.get();
    if (!key) return false;
    PyRef name = PyRef::steal(PyObject_GetAttr(function.get(), key));
    return name && add_member(target, name.get(), function.get());
}

bool add_class(PyObject* target, const api::Class& entry) {
    PyTypeObject* type = entry.type_object();
    if (!type) {
        raise_from_pending(PyExc_RuntimeError, std::string("An error occurred while initializing class ") + entry.name);
        return false;
    }
    PyRef name = PyRef::steal(PyUnicode_FromString(entry.name));
    return name && add_member(target, name.get(), reinterpret_cast<PyObject*>(type));
}

}  // namespace vorna::bindings
