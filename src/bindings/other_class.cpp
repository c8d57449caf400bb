// Other: a version of no other kind, kept as one text and exposed as the
// read-write property value.
#include <array>

#include "bindings/class_support.hpp"
#include "core/grammar.hpp"

namespace vorna::bindings {

namespace {

StaticName value_name("value");
constexpr std::array<StaticName*, 1> accepted_keywords = {&value_name};

struct OtherClass {
    using Value = vorna::Other;
    static constexpr std::string_view name = "Other";

    static PyTypeObject* type() noexcept { return other_type(); }
    static Result<Value, ParseError> parse(std::string_view text) { return parse_other(text); }
    static std::span<StaticName* const> keywords() noexcept { return accepted_keywords; }

    // value is required; any text is stored as given, the empty one too.
    static bool from_keywords(PyObject* kwargs, Value& out) {
        return required_keyword(kwargs, value_name, out.value, PyExc_ValueError, "invalid input to argument 'value'");
    }
};

PyGetSetDef properties[] = {
    property<&vorna::Other::value>("value", "new_value"),
    {},
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_slot<vorna::Other>)},
    {Py_tp_new, reinterpret_cast<void*>(kind_new<OtherClass>)},
    {Py_tp_repr, reinterpret_cast<void*>(repr_slot<vorna::Other>)},
    {Py_tp_str, reinterpret_cast<void*>(str_slot<vorna::Other>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(richcompare_slot<OtherClass>)},
    {Py_tp_getset, properties},
    {Py_tp_doc, const_cast<char*>("Other(*args, **kwargs)\n--\n\nPython wrapper around the [`Other`] version type")},
    {0, nullptr},
};

PyType_Spec type_spec = {"builtins.Other", sizeof(OtherInstance), 0, Py_TPFLAGS_DEFAULT, slots};
TypeCache cache(type_spec);

}  // namespace

PyTypeObject* other_type() { return cache.get(); }

}  // namespace vorna::bindings
