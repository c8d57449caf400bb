// The functions of the top module: test_function(version) writes "Got
// version: " and the version's text to the process's standard output;
// init_tracing() installs the process-wide log subscriber.
#include <Python.h>

#include <atomic>
#include <string>
#include <string_view>

#include "bindings/api.hpp"
#include "bindings/classes/classes.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/write_error.hpp"
#include "core/log/log.hpp"
#include "core/log/stdout.hpp"
#include "core/log/subscriber.hpp"
#include "core/model/version.hpp"

namespace vorna::bindings {

namespace {

// Whether the calling thread holds the interpreter lock, asked of the
// thread's own state: PyGILState_Check() answers yes for every thread once a
// sub-interpreter has existed.
bool holds_interpreter_lock() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return PyThreadState_GetUnchecked() != nullptr;
#elif PY_VERSION_HEX >= 0x030C0000
    return _PyThreadState_UncheckedGet() != nullptr;  // the calling thread's own
#else
    // The state that holds the lock, whichever thread it belongs to.
    PyThreadState* const holder = _PyThreadState_UncheckedGet();
    return holder != nullptr && holder == PyGILState_GetThisThreadState();
#endif
}

bool interpreter_finishing() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

// The interpreter lock as the writers of standard output give it up around
// a blocking write. Only a thread that holds it gives it up: a log record may
// come from a thread the interpreter does not know. Once the interpreter
// finalizes, a thread other than the finalizing one that takes the lock back
// is ended there (3.9 to 3.13, by an unwind that noexcept frames turn into an
// abort) or stopped for good (3.14 on, holding whatever it held).
const log::HostLock interpreter_lock = {
    .release = []() noexcept -> void* { return holds_interpreter_lock() ? PyEval_SaveThread() : nullptr; },
    .reacquire = [](void* state) noexcept { PyEval_RestoreThread(static_cast<PyThreadState*>(state)); },
    .finishing = interpreter_finishing,
};

// Run by atexit on the thread that finalizes the interpreter, before it sets
// the interpreter finalizing: from here on the other threads' writes stop
// short of taking the interpreter lock back, and the threads already taking
// it back are let through first, so that none is still waiting for it once
// finalizing begins.
PyObject* settle_stdout_writers(PyObject*, PyObject*) {
    log::begin_host_exit();
    Py_BEGIN_ALLOW_THREADS
    log::wait_for_threads_taking_the_host_lock();
    Py_END_ALLOW_THREADS
    Py_RETURN_NONE;
}

PyMethodDef settle_stdout_writers_def = {"settle_stdout_writers", settle_stdout_writers, METH_NOARGS, nullptr};

// Makes the interpreter lock the host lock of standard output's writers, and
// has the interpreter's exit settle them (once; a failure to register is
// retried by the next call and never raised).
void use_interpreter_lock() noexcept {
    static std::atomic<bool> exit_hook{false};
    log::set_host_lock(interpreter_lock);
    if (exit_hook.load(std::memory_order_relaxed)) return;
    PyRef atexit = PyRef::steal(PyImport_ImportModule("atexit"));
    PyRef hook = atexit ? PyRef::steal(PyCFunction_New(&settle_stdout_writers_def, nullptr)) : PyRef();
    PyRef done = hook ? PyRef::steal(PyObject_CallMethod(atexit.get(), "register", "O", hook.get())) : PyRef();
    if (done) {
        exit_hook.store(true, std::memory_order_relaxed);
    } else {
        PyErr_Clear();
    }
}

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

PyObject* print_version(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* argument = bind_version_argument(args, nargs, kwnames);
    if (!argument) return nullptr;
    PyTypeObject* type = version_type();
    if (!type) return nullptr;
    if (!PyObject_TypeCheck(argument, type)) {
        return raise(PyExc_TypeError,
                     "argument 'version': '" + type_qualname(argument) + "' object cannot be converted to 'Version'");
    }
    auto* instance = VersionInstance::from(argument);
    std::string line = "Got version: ";
    if (!with_borrow<ReadBorrow>(instance->borrow, [&] { append_text(line, instance->value); })) return nullptr;
    line.push_back('\n');
    // The line is written with the interpreter lock given up: a thread of
    // this process may be the one that empties the pipe. A signal that
    // interrupts the write runs its Python handler with the lock taken back;
    // a handler that raises (Ctrl-C) ends the write with its exception, and
    // a line the handler writes goes out after this one.
    use_interpreter_lock();
    bool handler_raised = false;
    const auto keep_going = [&handler_raised]() noexcept {
        handler_raised = PyErr_CheckSignals() != 0;
        return !handler_raised;
    };
    const log::WriteOutcome outcome = log::write_stdout(line, keep_going);
    if (outcome.error) {
        if (handler_raised) return nullptr;
        return raise_write_error("stdout", outcome.error, outcome.written);
    }
    Py_RETURN_NONE;
}

PyObject* install_subscriber() {
    use_interpreter_lock();
    if (!log::install_global_subscriber(log::make_stdout_subscriber())) {
        return raise(PyExc_RuntimeError, "a global default trace dispatcher has already been set");
    }
    Py_RETURN_NONE;
}

PyObject* test_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* { return print_version(args, nargs, kwnames); });
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
