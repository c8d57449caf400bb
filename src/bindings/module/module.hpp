// The import entry point of the module.
#pragma once

#include <Python.h>

namespace vorna::bindings {

// The module object of this process: made and filled on the first call,
// the same object after. Null with an error set when this interpreter is not
// the first one to import it, or when making it failed (a later call then
// tries again).
PyObject* init_module();

}  // namespace vorna::bindings
