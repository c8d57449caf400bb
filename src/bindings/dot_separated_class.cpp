// DotSeparated: a list of dot-separated parts, exposed as the read-write
// property parts.
#include <array>

#include "bindings/class_support.hpp"
#include "core/grammar.hpp"

namespace vorna::bindings {

namespace {

StaticName parts_name("parts");
constexpr std::array<StaticName*, 1> accepted_keywords = {&parts_name};

struct DotSeparatedClass {
    using Value = vorna::DotSeparated;
    static constexpr std::string_view name = "DotSeparated";

    static PyTypeObject* type() noexcept { return dot_separated_type(); }
    static Result<Value, ParseError> parse(std::string_view text) { return parse_dot_separated(text); }
    static std::span<StaticName* const> keywords() noexcept { return accepted_keywords; }

    // parts is required; its texts are stored as given, without the grammar.
    static bool from_keywords(PyObject* kwargs, Value& out) {
        return required_keyword(kwargs, parts_name, out.parts, PyExc_ValueError, "invalid input to argument 'parts'");
    }
};

PyGetSetDef properties[] = {
    property<&vorna::DotSeparated::parts>("parts", "new_parts"),
    {},
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_slot<vorna::DotSeparated>)},
    {Py_tp_new, reinterpret_cast<void*>(kind_new<DotSeparatedClass>)},
    {Py_tp_repr, reinterpret_cast<void*>(repr_slot<vorna::DotSeparated>)},
    {Py_tp_str, reinterpret_cast<void*>(str_slot<vorna::DotSeparated>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(richcompare_slot<DotSeparatedClass>)},
    {Py_tp_getset, properties},
    {Py_tp_doc, const_cast<char*>("DotSeparated(*args, **kwargs)\n--\n\nPython wrapper around [`DotSeparated`]")},
    {0, nullptr},
};

PyType_Spec type_spec = {"builtins.DotSeparated", sizeof(DotSeparatedInstance), 0, Py_TPFLAGS_DEFAULT, slots};
TypeCache cache(type_spec);

}  // namespace

PyTypeObject* dot_separated_type() { return cache.get(); }

}  // namespace vorna::bindings
