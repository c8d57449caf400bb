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
    static constexpr const char* full_name = "builtins.SemVer";
    static constexpr const char* doc = "SemVer(*args, **kwargs)\n--\n\nPython wrapper type for [`SemVer`]";

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

    static inline PyGetSetDef properties[] = {
        property<&vorna::SemVer::major>("major", "new_major"),
        property<&vorna::SemVer::minor>("minor", "new_minor"),
        property<&vorna::SemVer::patch>("patch", "new_patch"),
        property<&vorna::SemVer::rc>("rc", "new_rc"),
        property<&vorna::SemVer::meta>("meta", "new_meta"),
        {},
    };
};

}  // namespace

PyTypeObject* semver_type() { return KindClassObject<SemVerClass>::get(); }

}  // namespace vorna::bindings
