#include "bindings/runtime/write_error.hpp"

#include <string>

#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "core/log/stdout.hpp"

namespace vorna::bindings {

namespace {

// The errno of a write error, or 0 when it has none.
int errno_of(const std::error_code& error) noexcept {
    if (error.category() == std::generic_category()) return error.value();
    const std::error_condition condition = error.default_error_condition();
    return condition.category() == std::generic_category() ? condition.value() : 0;
}

// System texts come in the C library's encoding; an undecodable byte must not
// turn a write error into a decoding error.
PyRef text_object(std::string_view text) noexcept {
    return PyRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

// A subclass of `base` (an OSError class) whose str() is its message alone.
// OSError's own str() reads "[Errno N] strerror" whenever both are set, which
// would hide the message callers read. One class per base, for the process.
// Returns a borrowed reference, or null with an error set.
PyObject* message_class_for(PyTypeObject* base) noexcept {
    static PyObject* classes = nullptr;  // base -> subclass
    if (classes == nullptr) {
        PyObject* fresh = PyDict_New();
        if (fresh == nullptr) return nullptr;
        // Allocating can run other threads' Python code; the first dict wins.
        if (classes == nullptr) {
            classes = fresh;
        } else {
            Py_DECREF(fresh);
        }
    }
    PyObject* const key = reinterpret_cast<PyObject*>(base);
    if (PyObject* found = PyDict_GetItemWithError(classes, key)) return found;
    if (PyErr_Occurred()) return nullptr;

    PyRef str = PyRef::steal(PyObject_GetAttrString(PyExc_BaseException, "__str__"));
    if (!str) return nullptr;
    PyRef namespace_ = PyRef::steal(Py_BuildValue("{s:O,s:s}", "__str__", str.get(), "__module__", "vorna"));
    if (!namespace_) return nullptr;
    PyRef made = PyRef::steal(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s(O)O",
                                                    base->tp_name, key, namespace_.get()));
    if (!made) return nullptr;
    // Creating the class can also run other threads; the first one stored wins.
    return PyDict_SetDefault(classes, key, made.get());
}

}  // namespace

PyObject* raise_write_error(std::string_view stream, std::error_code error) noexcept {
    std::string message;
    std::string strerror;
    try {
        message.append("failed printing to ").append(stream).append(": ").append(log::describe_write_error(error));
        strerror = error.message();
    } catch (...) {
        return PyErr_NoMemory();
    }
    const int number = errno_of(error);
    PyRef text = text_object(message);
    if (!text) return nullptr;
    if (number == 0) {
        PyErr_SetObject(PyExc_OSError, text.get());
        return nullptr;
    }
    PyRef description = text_object(strerror);
    if (!description) return nullptr;
    PyRef args = PyRef::steal(Py_BuildValue("(iO)", number, description.get()));
    if (!args) return nullptr;
    // OSError(errno, strerror) is an instance of Python's class for that errno.
    PyRef probe = PyRef::steal(PyObject_Call(PyExc_OSError, args.get(), nullptr));
    if (!probe) return nullptr;
    PyObject* const type = message_class_for(Py_TYPE(probe.get()));
    if (!type) return nullptr;
    PyRef exception = PyRef::steal(PyObject_Call(type, args.get(), nullptr));
    if (!exception) return nullptr;
    PyRef message_args = PyRef::steal(PyTuple_Pack(1, text.get()));
    if (!message_args || PyObject_SetAttrString(exception.get(), "args", message_args.get()) != 0) return nullptr;
    PyErr_SetObject(type, exception.get());
    return nullptr;
}

}  // namespace vorna::bindings
