// The exceptions of a failed write to a standard stream.
//
// What the classes are. A failed write raises Python's own OSError subclass
// for the errno (BrokenPipeError for EPIPE, BlockingIOError for EAGAIN, ...),
// so `except BrokenPipeError` and `e.errno` work as with Python's writers. Its
// str() must be the message ("failed printing to stdout: ..."), where
// OSError's own str() shows "[Errno N] strerror" whenever both are set. So
// each such class gets one subclass, made at run time on first need (the set
// of errno classes is the running Python's, not known when this is built) and
// kept for the process, whose only change is BaseException's __str__. Which
// class belongs to an errno is Python's own mapping, reached by calling
// OSError(errno, strerror), which returns an instance of that class: the
// mapping is not public API, so it is asked rather than copied.
//
// What copying and pickling keep. The made classes have no importable name,
// so the default pickling (by the class's module and name) would fail; and
// OSError's default reduction would lose `args` (the message) and
// `characters_written`. Hence:
// - __reduce__ pickles as the base class, Python's own class for the errno,
//   with (errno, strerror) as its arguments and the message as `args`,
//   `characters_written` (when set) and the instance's own attributes as its
//   state. An unpickled error is Python's class, so str() reads "[Errno N]
//   ..." again: the type, the errno and the message in `args` survive, the
//   made subclass does not, and that is what any process can load.
// - __copy__ and __deepcopy__ stay in the process and keep the made class:
//   the same errno, strerror, message, `characters_written` and the
//   instance's own attributes. As with Python's own errors, __copy__ shares
//   those attributes (notes included) and __deepcopy__ copies them with the
//   memo, the copy entered in it first so a reference back to the error
//   points at the copy.
// An unset `characters_written` reads as an AttributeError; copies leave it
// unset rather than fail.
#include "bindings/runtime/write_error.hpp"

#include <string>
#include <utility>

#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/once_object.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "core/log/stdout.hpp"

namespace vorna::bindings {

namespace {

// System texts come in the C library's encoding; an undecodable byte must not
// turn a write error into a decoding error.
PyRef text_object(std::string_view text) {
    return PyRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

// What a copy of a write error needs besides its class: the arguments of the
// class, (errno, strerror), and the state set on the new instance afterwards
// (the message as `args`, `characters_written` when set, and the instance's
// own attributes). Null with an error set.
PyObject* reduce_parts(PyObject* self, PyRef& arguments) {
    PyRef number = PyRef::steal(PyObject_GetAttrString(self, "errno"));
    PyRef description = number ? PyRef::steal(PyObject_GetAttrString(self, "strerror")) : PyRef();
    if (!description) return nullptr;
    arguments = PyRef::steal(PyTuple_Pack(2, number.get(), description.get()));
    if (!arguments) return nullptr;
    PyRef state = PyRef::steal(PyDict_New());
    if (!state) return nullptr;
    PyRef own = PyRef::steal(PyObject_GenericGetDict(self, nullptr));
    if (!own || PyDict_Update(state.get(), own.get()) < 0) return nullptr;
    PyRef args = PyRef::steal(PyObject_GetAttrString(self, "args"));
    if (!args || PyDict_SetItemString(state.get(), "args", args.get()) < 0) return nullptr;
    if (PyObject_TypeCheck(self, reinterpret_cast<PyTypeObject*>(PyExc_BlockingIOError))) {
        // Unset, it reads as an AttributeError, and the copy leaves it unset.
        if (PyRef written = PyRef::steal(PyObject_GetAttrString(self, "characters_written"))) {
            if (PyDict_SetItemString(state.get(), "characters_written", written.get()) < 0) return nullptr;
        } else if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
            PyErr_Clear();
        } else {
            return nullptr;
        }
    }
    return state.release();
}

// __reduce__: Python's own class for the errno, which the unpickling side
// finds by name (the message classes are made at run time and have none).
PyObject* reduce_method(PyObject* self, PyObject*) {
    PyRef arguments;
    PyRef state = PyRef::steal(reduce_parts(self, arguments));
    if (!state) return nullptr;
    auto* base = reinterpret_cast<PyObject*>(Py_TYPE(self)->tp_base);
    return PyTuple_Pack(3, base, arguments.get(), state.get());
}

// An instance of the same class with the same errno and strerror, and the
// state of reduce_parts set on it: as it stands for __copy__, deep-copied
// with `memo` for __deepcopy__ (the instance's own attributes, its notes
// among them, are then its own). Null with an error set.
PyObject* copy_of(PyObject* self, PyObject* memo) {
    PyRef arguments;
    PyRef state = PyRef::steal(reduce_parts(self, arguments));
    if (!state) return nullptr;
    PyRef copy = PyRef::steal(PyObject_Call(reinterpret_cast<PyObject*>(Py_TYPE(self)), arguments.get(), nullptr));
    if (!copy) return nullptr;
    if (memo) {
        // As the copy module reconstructs: the copy is in the memo before
        // the state is copied, so an attribute that refers back to the
        // error refers to the copy.
        if (PyDict_Check(memo)) {
            PyRef key = PyRef::steal(PyLong_FromVoidPtr(self));
            if (!key || PyDict_SetItem(memo, key.get(), copy.get()) < 0) return nullptr;
        }
        PyRef module = PyRef::steal(PyImport_ImportModule("copy"));
        PyRef deep = module ? PyRef::steal(PyObject_CallMethod(module.get(), "deepcopy", "OO", state.get(), memo))
                            : PyRef();
        if (!deep) return nullptr;
        if (!PyDict_Check(deep.get())) return raise(PyExc_TypeError, "the deep copy of an error's state is no dict");
        state = std::move(deep);
    }
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(state.get(), &position, &key, &value)) {
        if (PyObject_SetAttr(copy.get(), key, value) < 0) return nullptr;
    }
    return copy.release();
}

PyObject* copy_method(PyObject* self, PyObject*) { return copy_of(self, nullptr); }

PyObject* deepcopy_method(PyObject* self, PyObject* memo) { return copy_of(self, memo); }

PyMethodDef reduce_def = {"__reduce__", reduce_method, METH_NOARGS, nullptr};
PyMethodDef copy_def = {"__copy__", copy_method, METH_NOARGS, nullptr};
PyMethodDef deepcopy_def = {"__deepcopy__", deepcopy_method, METH_O, nullptr};

bool add_method(PyObject* type, PyMethodDef* def) {
    PyRef method = PyRef::steal(PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type), def));
    return method && PyObject_SetAttrString(type, def->ml_name, method.get()) == 0;
}

// A subclass of `base` (an OSError class) whose str() is its message alone.
// OSError's own str() reads "[Errno N] strerror" whenever both are set, which
// would hide the message callers read. One class per base, for the process.
// Returns a borrowed reference, or null with an error set.
PyObject* message_class_for(PyTypeObject* base) {
    static OnceObject<> made_classes;  // base -> subclass
    PyObject* const classes = made_classes.get([] { return PyRef::steal(PyDict_New()); });
    if (!classes) return nullptr;
    PyObject* const key = reinterpret_cast<PyObject*>(base);
    if (PyObject* found = PyDict_GetItemWithError(classes, key)) return found;
    if (PyErr_Occurred()) return nullptr;

    PyRef str = PyRef::steal(PyObject_GetAttrString(PyExc_BaseException, "__str__"));
    if (!str) return nullptr;
    PyRef namespace_ = PyRef::steal(Py_BuildValue("{s:O,s:s}", "__str__", str.get(), "__module__", "vorna"));
    if (!namespace_) return nullptr;
    PyRef made = PyRef::steal(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s(O)O",
                                                    base->tp_name, key, namespace_.get()));
    if (!made || !add_method(made.get(), &reduce_def) || !add_method(made.get(), &copy_def) ||
        !add_method(made.get(), &deepcopy_def)) {
        return nullptr;
    }
    // Creating the class can also run other threads; the first one stored wins.
    return PyDict_SetDefault(classes, key, made.get());
}

}  // namespace

PyObject* raise_write_error(std::string_view stream, std::error_code error, std::size_t written) {
    std::string message;
    std::string strerror;
    try {
        message.append("failed printing to ").append(stream).append(": ").append(log::describe_write_error(error));
        strerror = error.message();
    } catch (...) {
        return PyErr_NoMemory();
    }
    const int number = log::errno_of(error);
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
    if (PyObject_TypeCheck(exception.get(), reinterpret_cast<PyTypeObject*>(PyExc_BlockingIOError))) {
        // As Python's own writers report a partial write.
        PyRef count = PyRef::steal(PyLong_FromSize_t(written));
        if (!count || PyObject_SetAttrString(exception.get(), "characters_written", count.get()) != 0) return nullptr;
    }
    PyErr_SetObject(type, exception.get());
    return nullptr;
}

}  // namespace vorna::bindings
