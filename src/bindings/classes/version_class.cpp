// Version: a version of any kind. Text is classified by the grammar; an
// instance of any of the four classes is copied into a Version of its kind.
#include "bindings/classes/comparison.hpp"
#include "bindings/classes/construction_errors.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/classes/instance.hpp"
#include "bindings/classes/kind_class.hpp"
#include "bindings/runtime/strings.hpp"
#include "bindings/classes/text_slots.hpp"
#include "bindings/classes/type_cache.hpp"
#include "core/parse/parse.hpp"

namespace vorna::bindings {

namespace {

struct VersionClass {
    using Value = vorna::Version;
    static PyTypeObject* type() { return version_type(); }
};

// A copy of the value of an instance of the kind class `type_of` gives,
// wrapped as a Version; nullopt when `argument` is no such instance.
template <class Kind>
std::optional<bool> copy_kind(PyObject* argument, PyTypeObject* (*type_of)(), std::optional<vorna::Version>& out) {
    PyTypeObject* type = type_of();
    if (!type) return false;
    if (!PyObject_TypeCheck(argument, type)) return std::nullopt;
    Kind value;
    if (!copy_value(argument, value)) return false;
    out.emplace(std::move(value));
    return true;
}

// Fills `out` from an argument that is not a str, or returns false with an
// error set.
bool version_from_instance(PyObject* argument, std::optional<vorna::Version>& out) {
    if (auto done = copy_kind<vorna::SemVer>(argument, semver_type, out)) return *done;
    if (auto done = copy_kind<vorna::DotSeparated>(argument, dot_separated_type, out)) return *done;
    if (auto done = copy_kind<vorna::Other>(argument, other_type, out)) return *done;
    PyTypeObject* type = version_type();
    if (!type) return false;
    if (PyObject_TypeCheck(argument, type)) {
        auto* instance = instance_of<vorna::Version>(argument);
        return with_borrow<ReadBorrow>(instance->borrow, [&] { out.emplace(instance->value.get()); });
    }
    raise_cannot_construct("Version", argument);
    return false;
}

// The constructor proper, once the first keyword (if any) is known.
PyObject* construct(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* first_keyword) {
    if (first_keyword) return raise_unexpected_keyword("Version.__new__", first_keyword);
    if (nargs != 1) return raise(PyExc_ValueError, "Version() requires arguments");
    // The common case, kept free of intermediate copies of the value.
    if (PyUnicode_Check(args[0])) return instance_from_text<vorna::Version>(type, args[0]);
    std::optional<vorna::Version> value;
    if (!version_from_instance(args[0], value)) return nullptr;
    return new_instance(type, std::move(*value));
}

// __new__(cls, *args): positional only; an empty keyword dictionary is
// ignored.
PyObject* version_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        PyObject* first_keyword = nullptr;
        if (kwargs && PyDict_Check(kwargs)) {
            Py_ssize_t position = 0;
            PyObject* value = nullptr;
            PyDict_Next(kwargs, &position, &first_keyword, &value);
        }
        PyRef held = PyRef::borrow(first_keyword);
        return construct(type, &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), held.get());
    });
}

// The generic type call (__new__, then __init__), for when Python code has
// replaced either on the class.
PyObject* generic_call(PyObject* callable, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyRef tuple = PyRef::steal(PyTuple_New(nargs));
    if (!tuple) return nullptr;
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        Py_INCREF(args[i]);
        PyTuple_SET_ITEM(tuple.get(), i, args[i]);  // steals
    }
    PyRef keywords;
    if (kwnames && PyTuple_GET_SIZE(kwnames) > 0) {
        keywords = PyRef::steal(PyDict_New());
        if (!keywords) return nullptr;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
            if (PyDict_SetItem(keywords.get(), PyTuple_GET_ITEM(kwnames, i), args[nargs + i]) < 0) return nullptr;
        }
    }
    return PyType_Type.tp_call(callable, tuple.get(), keywords.get());
}

// Version(...): the same rules, answered without building an argument tuple.
// An empty keyword mapping arrives as no keywords at all, which Version
// ignores either way.
PyObject* version_vectorcall(PyObject* callable, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        auto* type = reinterpret_cast<PyTypeObject*>(callable);
        if (type->tp_new != version_new || type->tp_init != PyBaseObject_Type.tp_init) [[unlikely]] {
            return generic_call(callable, args, PyVectorcall_NARGS(nargsf), kwnames);
        }
        PyObject* first_keyword = kwnames && PyTuple_GET_SIZE(kwnames) > 0 ? PyTuple_GET_ITEM(kwnames, 0) : nullptr;
        return construct(type, args, PyVectorcall_NARGS(nargsf), first_keyword);
    });
}

constexpr const char* doc = "Version(*args)\n--\n\nPython wrapper around a [`Version`]";

constexpr api::Parameter from_text_or_instance[] = {
    {"version", "str | Version | SemVer | DotSeparated | Other", api::ParameterKind::positional_only}};
constexpr api::Signature constructor[] = {{from_text_or_instance, "Version"}};

PyType_Slot slots[] = {
    {Py_tp_alloc, reinterpret_cast<void*>(alloc_slot<vorna::Version>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_slot<vorna::Version>)},
    {Py_tp_new, reinterpret_cast<void*>(version_new)},
    {Py_tp_repr, reinterpret_cast<void*>(repr_slot<vorna::Version>)},
    {Py_tp_str, reinterpret_cast<void*>(str_slot<vorna::Version>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(richcompare_slot<VersionClass>)},
    {Py_tp_doc, const_cast<char*>(doc)},
    {0, nullptr},
};

PyType_Spec type_spec = {"builtins.Version", sizeof(VersionInstance), 0, Py_TPFLAGS_DEFAULT, slots};
TypeCache cache(type_spec, version_vectorcall);

}  // namespace

PyTypeObject* version_type() { return cache.get(); }

const api::Class api::version_class = {
    "Version", doc, constructor, {}, []() noexcept -> const PyType_Spec& { return type_spec; }, version_type,
};

}  // namespace vorna::bindings
