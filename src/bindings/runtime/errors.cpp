#include "bindings/runtime/errors.hpp"

#include "bindings/runtime/py_ref.hpp"

namespace vorna::bindings {

PyObject* raise_unexpected_keyword(const char* function, PyObject* key) {
    PyRef message = PyRef::steal(PyUnicode_FromFormat(PyUnicode_Check(key)
                                                          ? "%s() got an unexpected keyword argument '%U'"
                                                          : "%s() got an unexpected keyword argument '%S'",
                                                      function, key));
    if (message) PyErr_SetObject(PyExc_TypeError, message.get());
    return nullptr;
}

PyObject* raise(PyObject* type, std::string_view message) {
    PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (text) PyErr_SetObject(type, text.get());
    return nullptr;
}

void ensure_error_set() {
    if (!PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
}

void raise_from_pending(PyObject* type, std::string_view message) {
    ensure_error_set();
    PyObject *cause_type, *cause_value, *cause_tb;
    PyErr_Fetch(&cause_type, &cause_value, &cause_tb);
    PyErr_NormalizeException(&cause_type, &cause_value, &cause_tb);
    if (cause_tb) PyException_SetTraceback(cause_value, cause_tb);
    PyRef cause = PyRef::steal(cause_value);
    Py_XDECREF(cause_type);
    Py_XDECREF(cause_tb);

    raise(type, message);
    PyObject *type_now, *value_now, *tb_now;
    PyErr_Fetch(&type_now, &value_now, &tb_now);
    PyErr_NormalizeException(&type_now, &value_now, &tb_now);
    if (value_now && cause) {
        PyException_SetCause(value_now, cause.release());  // steals
    }
    PyErr_Restore(type_now, value_now, tb_now);
}

}  // namespace vorna::bindings
