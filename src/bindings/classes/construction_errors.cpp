#include "bindings/classes/construction_errors.hpp"

#include <string>

#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/static_name.hpp"
#include "bindings/runtime/strings.hpp"

namespace vorna::bindings {

PyObject* raise_parse_error(const ParseError& error) noexcept {
    return guarded([&]() -> PyObject* {
        // The report is decoded once, where it lies; only a captured trace
        // makes a longer text to build.
        std::string with_trace;
        std::string_view message = error.message();
        if (!error.backtrace().empty()) message = with_trace = error.debug_form();
        PyRef text = PyRef::steal(str_from_utf8(message));
        if (text) PyErr_SetObject(PyExc_RuntimeError, text.get());
        return nullptr;
    });
}

PyObject* raise_cannot_construct(std::string_view class_name, PyObject* argument) {
    static StaticName dunder_name("__name__");
    PyObject* key = dunder_name.get();
    if (!key) return nullptr;
    PyRef type_name = PyRef::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(argument)), key));
    if (!type_name) return nullptr;
    const std::string name(class_name);
    PyRef message =
        PyRef::steal(PyUnicode_FromFormat("Cannot construct %s from type '%S'", name.c_str(), type_name.get()));
    if (message) PyErr_SetObject(PyExc_TypeError, message.get());
    return nullptr;
}

}  // namespace vorna::bindings
