// Other: a version of no other kind, kept as one text and exposed as the
// read-write property value.
#include <array>

#include "bindings/classes/kind_class.hpp"

namespace vorna::bindings {

namespace {

StaticName value_name("value");
constexpr std::array<StaticName*, 1> accepted_keywords = {&value_name};

using enum api::ParameterKind;
constexpr api::Parameter from_text_or_instance[] = {{"version", "str | Other | Version", positional_only}};
constexpr api::Parameter from_value[] = {{"value", "str", keyword_only}};
constexpr api::Signature constructor[] = {{from_text_or_instance, "Other"}, {from_value, "Other"}};

struct OtherClass {
    using Value = vorna::Other;
    static constexpr std::string_view name = "Other";
    static constexpr const char* full_name = "builtins.Other";
    static constexpr const char* doc = "Other(*args, **kwargs)\n--\n\nPython wrapper around the [`Other`] version type";

    static PyTypeObject* type() { return other_type(); }
    static std::span<StaticName* const> keywords() noexcept { return accepted_keywords; }

    // value is required; any text is stored as given, the empty one too.
    static bool from_keywords(const Keywords& kwargs, Value& out) {
        Text value;
        if (!required_keyword(kwargs, value_name, value, PyExc_ValueError, "invalid input to argument 'value'")) {
            return false;
        }
        out.set_value(value);
        return true;
    }

    struct ValueField {
        using Owner = vorna::Other;
        using Snapshot = vorna::Other;
        using Input = Text;
        static Snapshot snapshot(const Owner& v) { return v; }
        static PyObject* to_python(const Snapshot& v) { return bindings::to_python(v.value()); }
        static void store(Owner& v, Input&& value) { v.set_value(value); }
    };

    static constexpr PropertyTable properties{
        property<ValueField>({.name = "value",
                              .doc = "The version text, kept as given.",
                              .type = "str",
                              .setter_parameter = "new_value",
                              .setter_type = "str"}),
    };
    static inline auto getset = properties.getset();
};

}  // namespace

PyTypeObject* other_type() { return KindClassObject<OtherClass>::get(); }

const api::Class api::other_class = {
    OtherClass::name.data(), OtherClass::doc, constructor, OtherClass::properties.declared,
    KindClassObject<OtherClass>::type_description, other_type,
};

}  // namespace vorna::bindings
