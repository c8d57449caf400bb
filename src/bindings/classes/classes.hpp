// The four version classes. Each accessor creates the class object on first
// use and returns it borrowed (the object lives for the process), or null
// with an error set when creation failed; a later call tries again.
#pragma once

#include <Python.h>

#include "bindings/classes/instance.hpp"
#include "core/model/version.hpp"

namespace vorna::bindings {

PyTypeObject* version_type();
PyTypeObject* semver_type();
PyTypeObject* dot_separated_type();
PyTypeObject* other_type();

using VersionInstance = Instance<vorna::Version>;
using SemVerInstance = Instance<vorna::SemVer>;
using DotSeparatedInstance = Instance<vorna::DotSeparated>;
using OtherInstance = Instance<vorna::Other>;

}  // namespace vorna::bindings
