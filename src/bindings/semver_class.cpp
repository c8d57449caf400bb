// SemVer: a semantic version with read-write properties major, minor, patch,
// rc and meta.
#include <array>

#include "bindings/class_support.hpp"
#include "core/grammar.hpp"

namespace vorna::bindings {

namespace {

StaticName major_name("major");
StaticName minor_name("minor");
StaticName patch_name("patch");
StaticName rc_name("rc");
StaticName meta_name("meta");
constexpr std::array<StaticName*, 5> accepted_keywords = {&major_name, &minor_name, &patch_name, &rc_name, &meta_name};

struct SemVerClass {
    using Value = vorna::SemVer;
    static constexpr std::string_view name = "SemVer";

    static PyTypeObject* type() noexcept { return semver_type(); }
    static Result<Value, ParseError> parse(std::string_view text) { return parse_semver(text); }
    static std::span<StaticName* const> keywords() noexcept { return accepted_keywords; }

    // major, minor and patch are required, in that order; rc and meta may be
    // missing or None. Values are stored as given, without the grammar.
    static bool from_keywords(PyObject* kwargs, Value& out) {
        return required_keyword(kwargs, major_name, out.major, PyExc_TypeError,
                                "Missing required keyword argument 'major'") &&
               required_keyword(kwargs, minor_name, out.minor, PyExc_TypeError,
                                "Missing required keyword argument 'minor'") &&
               required_keyword(kwargs, patch_name, out.patch, PyExc_TypeError,
                                "Missing required keyword argument 'patch'") &&
               optional_keyword(kwargs, rc_name, out.rc) && optional_keyword(kwargs, meta_name, out.meta);
    }
};

PyGetSetDef properties[] = {
    property<&vorna::SemVer::major>("major", "new_major"),
    property<&vorna::SemVer::minor>("minor", "new_minor"),
    property<&vorna::SemVer::patch>("patch", "new_patch"),
    property<&vorna::SemVer::rc>("rc", "new_rc"),
    property<&vorna::SemVer::meta>("meta", "new_meta"),
    {},
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_slot<vorna::SemVer>)},
    {Py_tp_new, reinterpret_cast<void*>(kind_new<SemVerClass>)},
    {Py_tp_repr, reinterpret_cast<void*>(repr_slot<vorna::SemVer>)},
    {Py_tp_str, reinterpret_cast<void*>(str_slot<vorna::SemVer>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(richcompare_slot<SemVerClass>)},
    {Py_tp_getset, properties},
    {Py_tp_doc, const_cast<char*>("SemVer(*args, **kwargs)\n--\n\nPython wrapper type for [`SemVer`]")},
    {0, nullptr},
};

PyType_Spec type_spec = {"builtins.SemVer", sizeof(SemVerInstance), 0, Py_TPFLAGS_DEFAULT, slots};
TypeCache cache(type_spec);

}  // namespace

PyTypeObject* semver_type() { return cache.get(); }

}  // namespace vorna::bindings
