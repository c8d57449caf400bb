// Version: a version of any kind. Text is classified by the grammar; an
// instance of any of the four classes is copied into a Version of its kind.
#include "bindings/class_support.hpp"
#include "core/grammar.hpp"

namespace vorna::bindings {

namespace {

struct VersionClass {
    using Value = vorna::Version;
    static PyTypeObject* type() noexcept { return version_type(); }
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

// Fills `out` from the one positional argument, or returns false with an
// error set.
bool version_from_argument(PyObject* argument, std::optional<vorna::Version>& out) {
    if (PyUnicode_Check(argument)) {
        const std::optional<std::string_view> text = utf8_of(argument);
        if (!text) return false;
        auto parsed = parse_version(*text);
        if (!parsed) {
            raise_parse_error(parsed.error());
            return false;
        }
        out.emplace(std::move(parsed).value());
        return true;
    }
    if (auto done = copy_kind<vorna::SemVer>(argument, semver_type, out)) return *done;
    if (auto done = copy_kind<vorna::DotSeparated>(argument, dot_separated_type, out)) return *done;
    if (auto done = copy_kind<vorna::Other>(argument, other_type, out)) return *done;
    PyTypeObject* type = version_type();
    if (!type) return false;
    if (PyObject_TypeCheck(argument, type)) {
        auto* instance = instance_of<vorna::Version>(argument);
        ReadGuard borrow(instance->borrow);
        if (!borrow.held()) {
            raise(PyExc_RuntimeError, already_mutably_borrowed);
            return false;
        }
        out.emplace(instance->value);
        return true;
    }
    raise_cannot_construct("Version", argument);
    return false;
}

// __new__(cls, *args): positional only; an empty keyword dictionary is
// ignored.
PyObject* version_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        if (kwargs && PyDict_Check(kwargs) && PyDict_GET_SIZE(kwargs) > 0) {
            Py_ssize_t position = 0;
            PyObject* key = nullptr;
            PyObject* value = nullptr;
            PyDict_Next(kwargs, &position, &key, &value);
            PyRef held = PyRef::borrow(key);
            PyRef message = PyRef::steal(PyUnicode_FromFormat(
                PyUnicode_Check(key) ? "Version.__new__() got an unexpected keyword argument '%U'"
                                     : "Version.__new__() got an unexpected keyword argument '%S'",
                held.get()));
            if (message) PyErr_SetObject(PyExc_TypeError, message.get());
            return nullptr;
        }
        if (PyTuple_GET_SIZE(args) != 1) return raise(PyExc_ValueError, "Version() requires arguments");
        std::optional<vorna::Version> value;
        if (!version_from_argument(PyTuple_GET_ITEM(args, 0), value)) return nullptr;
        return new_instance(type, std::move(*value));
    });
}

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_slot<vorna::Version>)},
    {Py_tp_new, reinterpret_cast<void*>(version_new)},
    {Py_tp_repr, reinterpret_cast<void*>(repr_slot<vorna::Version>)},
    {Py_tp_str, reinterpret_cast<void*>(str_slot<vorna::Version>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(richcompare_slot<VersionClass>)},
    {Py_tp_doc, const_cast<char*>("Version(*args)\n--\n\nPython wrapper around a [`Version`]")},
    {0, nullptr},
};

PyType_Spec spec = {"builtins.Version", sizeof(VersionInstance), 0, Py_TPFLAGS_DEFAULT, slots};
TypeCache cache(spec);

}  // namespace

PyTypeObject* version_type() { return cache.get(); }

}  // namespace vorna::bindings
