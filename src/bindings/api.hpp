// The bindings, the only code that touches the C API: runtime/ (references,
// errors, borrows, conversions), classes/ (the four classes), module/ (entry
// point, module tree, functions).
//
// The declarations of the Python API: what each module, class, property and
// function is called, its docstring and the parameter and return types a
// type checker needs. The module tree, the class objects and the property
// tables are built from these, and the exported description records are
// written from them, so the runtime and its description cannot drift apart.
//
// Types are Python annotation texts; a bare class name means the class of
// that name in the module tree. `_SequenceOfStr` is what a list of parts
// accepts: a sequence of str that is not itself a str (typing's Sequence[str]
// admits a str, which the conversion refuses); the stub defines it.
#pragma once

#include <Python.h>

#include <span>
#include <string_view>

namespace vorna::bindings::api {

enum class ParameterKind { positional_only, positional_or_keyword, var_positional, keyword_only, var_keyword };

struct Parameter {
    std::string_view name;
    std::string_view type;
    ParameterKind kind = ParameterKind::positional_or_keyword;
    bool has_default = false;
};

// One way of calling: several make an overloaded call.
struct Signature {
    std::span<const Parameter> parameters;
    std::string_view returns;
};

// A read-write property. The name, docstring and setter parameter feed the
// class's property table; the setter parameter is what conversion errors cite.
// Declared with designated initialisers (.name = ..., .setter_parameter = ...),
// since two of its texts could trade places unnoticed in a positional list.
struct Property {
    const char* name;
    const char* doc;
    std::string_view type;         // what the getter returns
    const char* setter_parameter;
    std::string_view setter_type;  // what the setter accepts
};

struct Class {
    const char* name;
    // The docstring, its signature header first (the host derives the class's
    // text signature from it).
    const char* doc;
    // The calls of the class itself (its __new__).
    std::span<const Signature> constructor;
    std::span<const Property> properties;
    // The class object's type description: slots, flags and full name.
    const PyType_Spec& (*type_spec)();
    // The class object, created on first use: borrowed, or null with an error.
    PyTypeObject* (*type_object)();
};

struct Function {
    PyMethodDef* definition;  // name and docstring (a signature header only)
    Signature signature;
};

struct Module {
    const char* name;
    const char* doc;
    std::span<const Module* const> submodules;
    std::span<const Class* const> classes;
    std::span<const Function* const> functions;
};

// The top module and everything below it.
const Module& module_tree() noexcept;

// The classes, each declared beside its slots.
extern const Class version_class;
extern const Class semver_class;
extern const Class dot_separated_class;
extern const Class other_class;

// The functions of the top module.
extern const Function test_function;
extern const Function init_tracing;

}  // namespace vorna::bindings::api
