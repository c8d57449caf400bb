// The errors a constructor of the version classes raises when its argument
// cannot become a value: shared by the kind classes and Version.
#pragma once

#include <Python.h>

#include <string_view>

#include "core/report/report.hpp"

namespace vorna::bindings {

// RuntimeError carrying the report of a failed parse; MemoryError when
// memory runs out while it is written.
PyObject* raise_parse_error(const ParseFailure& failure);

// TypeError "Cannot construct <class> from type '<type(argument).__name__>'".
// __name__ is read as an attribute, so an error there is raised instead.
PyObject* raise_cannot_construct(std::string_view class_name, PyObject* argument);

}  // namespace vorna::bindings
