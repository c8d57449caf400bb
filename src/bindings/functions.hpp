// The functions of the top module.
#pragma once

#include <Python.h>

namespace vorna::bindings {

// test_function(version): writes "Got version: " and the version's text to
// the process's standard output.
extern PyMethodDef test_function_def;
// init_tracing(): installs the process-wide log subscriber.
extern PyMethodDef init_tracing_def;

}  // namespace vorna::bindings
