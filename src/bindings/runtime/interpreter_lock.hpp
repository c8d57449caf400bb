// The calling thread's relation to the interpreter lock, asked without
// taking it.
#pragma once

#include <Python.h>

#if PY_VERSION_HEX >= 0x030D0000
// Exported, though its declaration moved to the internal headers in 3.13.
extern "C" PyAPI_FUNC(int) _PyOS_IsMainThread(void);
#endif

namespace vorna::bindings {

// Whether the calling thread holds the interpreter lock, asked of the
// thread's own state: PyGILState_Check() answers yes for every thread once a
// sub-interpreter has existed.
inline bool holds_interpreter_lock() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return PyThreadState_GetUnchecked() != nullptr;
#elif PY_VERSION_HEX >= 0x030C0000
    return _PyThreadState_UncheckedGet() != nullptr;  // the calling thread's own
#else
    // The state that holds the lock, whichever thread it belongs to; read,
    // never followed, as another thread may be freeing it.
    PyThreadState* const holder = _PyThreadState_UncheckedGet();
    return holder != nullptr && holder == PyGILState_GetThisThreadState();
#endif
}

// Whether the calling thread, in a frame of the module, may release a
// reference: it holds the interpreter lock. Such a frame runs without it only
// while the host's forced unwind ends a thread that took the lock back during
// finalization, so before that no more is asked; from then on, whether the
// thread holds it, as above (a sub-interpreter, where the thread's state is
// another, has ended by then).
inline bool may_release_references() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    return holds_interpreter_lock();
#else
    return _Py_IsFinalizing() == 0 || holds_interpreter_lock();
#endif
}

// Whether the calling thread, which holds the interpreter lock, is the one
// that runs Python's signal handlers: the main thread of the main
// interpreter. PyErr_CheckSignals() does nothing on any other.
inline bool runs_signal_handlers() noexcept { return _PyOS_IsMainThread() != 0; }

}  // namespace vorna::bindings
