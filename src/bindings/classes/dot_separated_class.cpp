// DotSeparated: a list of dot-separated parts, exposed as the read-write
// property parts.
#include <array>

#include "bindings/classes/kind_class.hpp"

namespace vorna::bindings {

namespace {

StaticName parts_name("parts");
constexpr std::array<StaticName*, 1> accepted_keywords = {&parts_name};

using enum api::ParameterKind;
constexpr api::Parameter from_text_or_instance[] = {{"version", "str | DotSeparated | Version", positional_only}};
constexpr api::Parameter from_parts[] = {{"parts", "_SequenceOfStr", keyword_only}};
constexpr api::Signature constructor[] = {{from_text_or_instance, "DotSeparated"}, {from_parts, "DotSeparated"}};

struct DotSeparatedClass {
    using Value = vorna::DotSeparated;
    static constexpr std::string_view name = "DotSeparated";
    static constexpr const char* full_name = "builtins.DotSeparated";
    static constexpr const char* doc = "DotSeparated(*args, **kwargs)\n--\n\nPython wrapper around [`DotSeparated`]";

    static PyTypeObject* type() { return dot_separated_type(); }
    static std::span<StaticName* const> keywords() noexcept { return accepted_keywords; }

    // parts is required; its texts are stored as given, without the grammar.
    static bool from_keywords(const Keywords& kwargs, Value& out) {
        TextList parts;
        if (!required_keyword(kwargs, parts_name, parts, PyExc_ValueError, "invalid input to argument 'parts'")) {
            return false;
        }
        out.set_parts(parts);
        return true;
    }

    struct PartsField {
        using Owner = vorna::DotSeparated;
        using Snapshot = vorna::DotSeparated;
        using Input = TextList;
        static Snapshot snapshot(const Owner& v) { return v; }
        static PyObject* to_python(const Snapshot& v) { return bindings::to_python(v.parts()); }
        static void store(Owner& v, Input&& parts) { v.set_parts(parts); }
    };

    static constexpr PropertyTable properties{
        property<PartsField>({.name = "parts",
                              .doc = "The parts between the dots, in order.",
                              .type = "list[str]",
                              .setter_parameter = "new_parts",
                              .setter_type = "_SequenceOfStr"}),
    };
    static inline auto getset = properties.getset();
};

}  // namespace

PyTypeObject* dot_separated_type() { return KindClassObject<DotSeparatedClass>::get(); }

const api::Class api::dot_separated_class = {
    DotSeparatedClass::name.data(), DotSeparatedClass::doc, constructor, DotSeparatedClass::properties.declared,
    KindClassObject<DotSeparatedClass>::type_description, dot_separated_type,
};

}  // namespace vorna::bindings
