// The functions of the top module: test_function(version) writes "Got
// version: " and the version's text to the process's standard output;
// init_tracing() installs the process-wide log subscriber.
#include <Python.h>

#include <string>
#include <string_view>

#include "bindings/api.hpp"
#include "bindings/classes/classes.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/interpreter_lock.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/test_hooks.hpp"
#include "bindings/runtime/write_error.hpp"
#include "core/log/log.hpp"
#include "core/log/stdout.hpp"
#include "core/log/subscriber.hpp"
#include "core/model/version.hpp"

namespace vorna::bindings {

namespace {

// The __qualname__ of the object's type, or the stand-in text.
std::string type_qualname(PyObject* object) {
    PyRef qualname = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
    if (qualname && PyUnicode_Check(qualname.get())) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(qualname.get(), &size)) return std::string(text, size);
    }
    PyErr_Clear();
    return "<failed to extract type name>";
}

// Binds test_function's one parameter `version`, or raises TypeError.
PyObject* bind_version_argument(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (nargs > 1) {
        return raise(PyExc_TypeError, "test_function() takes 1 positional arguments but " + std::to_string(nargs) +
                                          " were given");
    }
    PyObject* version = nargs == 1 ? args[0] : nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, i);
        if (PyUnicode_CompareWithASCIIString(key, "version") != 0) return raise_unexpected_keyword("test_function", key);
        if (version) return raise(PyExc_TypeError, "test_function() got multiple values for argument 'version'");
        version = args[nargs + i];
    }
    if (!version) return raise(PyExc_TypeError, "test_function() missing 1 required positional argument: 'version'");
    return version;
}

// test_function's line: "Got version: ", the version's text and a line
// break. False, with the exception set, when the argument does not bind.
bool make_line(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, std::string& line) {
    PyObject* argument = bind_version_argument(args, nargs, kwnames);
    if (!argument) return false;
    PyTypeObject* type = version_type();
    if (!type) return false;
    if (!PyObject_TypeCheck(argument, type)) {
        raise(PyExc_TypeError,
              "argument 'version': '" + type_qualname(argument) + "' object cannot be converted to 'Version'");
        return false;
    }
    auto* instance = VersionInstance::from(argument);
    line = "Got version: ";
    if (!with_borrow<ReadBorrow>(instance->borrow, [&] { append_text(line, instance->value.get()); })) return false;
    line.push_back('\n');
    return true;
}

// A line written with the interpreter lock given up: how the write ended,
// whether a signal handler raised meanwhile, and the thread state to take the
// lock back with.
struct Written {
    log::WriteOutcome outcome;
    bool handler_raised = false;
    PyThreadState* thread = nullptr;
};

// Writes the line with the interpreter lock given up, and leaves it given
// up: a thread of this process may be the one that empties the pipe. The
// thread that runs signal handlers takes it back between the pieces of a
// blocked write to run them; a handler that raises (Ctrl-C) ends the write
// with its exception, and a line the handler writes goes out after this one.
// No other thread takes it back before the write is over.
Written write_line(std::string_view line) noexcept {
    const bool runs_handlers = runs_signal_handlers();
    Written written{.outcome = {}, .handler_raised = false, .thread = PyEval_SaveThread()};
    const auto keep_going = [&written]() noexcept {
        PyEval_RestoreThread(written.thread);
        written.handler_raised = PyErr_CheckSignals() != 0;
        written.thread = PyEval_SaveThread();
        return !written.handler_raised;
    };
    written.outcome =
        log::write_stdout(line, runs_handlers ? platform::InterruptCheck(keep_going) : platform::InterruptCheck());
    return written;
}

PyObject* install_subscriber() {
    if (!log::install_global_subscriber(log::make_stdout_subscriber())) {
        return raise(PyExc_RuntimeError, "a global default trace dispatcher has already been set");
    }
    Py_RETURN_NONE;
}

PyObject* test_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Written written;
    {
        std::string line;
        if (guarded([&]() -> int { return make_line(args, nargs, kwnames, line) ? 0 : -1; }) != 0) return nullptr;
        written = write_line(line);
    }
    // The interpreter lock is taken back here, with nothing of standard
    // output held and nothing in this frame left to destroy: a thread that
    // comes back while the interpreter finalizes is ended right here (3.9 to
    // 3.13 unwind its stack with pthread_exit, which passes this frame as it
    // is, neither noexcept nor in a catch-all) or parked (3.14 on).
    test_hooks::before_taking_the_interpreter_lock_back();
    PyEval_RestoreThread(written.thread);
    if (written.handler_raised) return nullptr;
    if (written.outcome.error) return raise_write_error("stdout", written.outcome.error, written.outcome.written);
    Py_RETURN_NONE;
}

PyObject* init_tracing(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { return install_subscriber(); });
}

PyMethodDef test_function_def = {
    "test_function",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(test_function)),
    METH_FASTCALL | METH_KEYWORDS,
    "test_function(version)\n--\n\n",
};

PyMethodDef init_tracing_def = {
    "init_tracing",
    init_tracing,
    METH_NOARGS,
    "init_tracing()\n--\n\n",
};

constexpr api::Parameter test_function_parameters[] = {{"version", "Version"}};

}  // namespace

const api::Function api::test_function = {&test_function_def, {test_function_parameters, "None"}};
const api::Function api::init_tracing = {&init_tracing_def, {{}, "None"}};

}  // namespace vorna::bindings
