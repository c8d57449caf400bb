// SemVer: a semantic version with read-write properties major, minor, patch,
// rc and meta.
#include <array>

#include "bindings/classes/kind_class.hpp"

namespace vorna::bindings {

namespace {

StaticName major_name("major");
StaticName minor_name("minor");
StaticName patch_name("patch");
StaticName rc_name("rc");
StaticName meta_name("meta");
constexpr std::array<StaticName*, 5> accepted_keywords = {&major_name, &minor_name, &patch_name, &rc_name, &meta_name};

using enum api::ParameterKind;
constexpr api::Parameter from_text_or_instance[] = {{"version", "str | SemVer | Version", positional_only}};
constexpr api::Parameter from_fields[] = {
    {"major", "int", keyword_only},
    {"minor", "int", keyword_only},
    {"patch", "int", keyword_only},
    {"rc", "_SequenceOfStr | None", keyword_only, true},
    {"meta", "_SequenceOfStr | None", keyword_only, true},
};
constexpr api::Signature constructor[] = {{from_text_or_instance, "SemVer"}, {from_fields, "SemVer"}};

struct SemVerClass {
    using Value = vorna::SemVer;
    static constexpr std::string_view name = "SemVer";
    static constexpr const char* full_name = "builtins.SemVer";
    static constexpr const char* doc = "SemVer(*args, **kwargs)\n--\n\nPython wrapper type for [`SemVer`]";

    static PyTypeObject* type() { return semver_type(); }
    static std::span<StaticName* const> keywords() noexcept { return accepted_keywords; }

    // major, minor and patch are required, in that order; rc and meta may be
    // missing or None. Values are stored as given, without the grammar.
    static bool from_keywords(const Keywords& kwargs, Value& out) {
        std::optional<TextList> rc;
        std::optional<TextList> meta;
        if (!(required_keyword(kwargs, major_name, out.major, PyExc_TypeError,
                               "Missing required keyword argument 'major'") &&
              required_keyword(kwargs, minor_name, out.minor, PyExc_TypeError,
                               "Missing required keyword argument 'minor'") &&
              required_keyword(kwargs, patch_name, out.patch, PyExc_TypeError,
                               "Missing required keyword argument 'patch'") &&
              optional_keyword(kwargs, rc_name, rc) && optional_keyword(kwargs, meta_name, meta))) {
            return false;
        }
        out.lists.assign({rc, meta});
        return true;
    }

    // rc and meta share the value's one block of lists; a getter copies
    // only its own list out of it.
    template <std::size_t List> struct ListField {
        using Owner = vorna::SemVer;
        using Snapshot = vorna::PackedLists<1>;
        using Input = std::optional<TextList>;
        static Snapshot snapshot(const Owner& v) {
            const std::optional<ListView> list = v.lists.get_if_present(List);
            return Snapshot({list ? std::optional<ListSource>(*list) : std::nullopt});
        }
        static PyObject* to_python(const Snapshot& list) { return bindings::to_python(list.get_if_present(0)); }
        static void store(Owner& v, Input&& list) { v.lists.assign(List, list); }
    };

    static constexpr PropertyTable properties{
        property<&vorna::SemVer::major>({.name = "major",
                                         .doc = "The major version number (0 to 4294967295).",
                                         .type = "int",
                                         .setter_parameter = "new_major",
                                         .setter_type = "int"}),
        property<&vorna::SemVer::minor>({.name = "minor",
                                         .doc = "The minor version number (0 to 4294967295).",
                                         .type = "int",
                                         .setter_parameter = "new_minor",
                                         .setter_type = "int"}),
        property<&vorna::SemVer::patch>({.name = "patch",
                                         .doc = "The patch version number (0 to 4294967295).",
                                         .type = "int",
                                         .setter_parameter = "new_patch",
                                         .setter_type = "int"}),
        property<ListField<0>>({.name = "rc",
                                .doc = "The pre-release identifiers, or None when there is no pre-release.",
                                .type = "list[str] | None",
                                .setter_parameter = "new_rc",
                                .setter_type = "_SequenceOfStr | None"}),
        property<ListField<1>>(
            {.name = "meta",
             .doc = "The build-metadata identifiers, or None when there are none; comparisons ignore them.",
             .type = "list[str] | None",
             .setter_parameter = "new_meta",
             .setter_type = "_SequenceOfStr | None"}),
    };
    static inline auto getset = properties.getset();
};

}  // namespace

PyTypeObject* semver_type() { return KindClassObject<SemVerClass>::get(); }

const api::Class api::semver_class = {
    SemVerClass::name.data(), SemVerClass::doc, constructor, SemVerClass::properties.declared,
    KindClassObject<SemVerClass>::type_description, semver_type,
};

}  // namespace vorna::bindings
