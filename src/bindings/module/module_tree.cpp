// The module tree as the API declares it:
//   vorna                  package, test_function, init_tracing
//   vorna.package          version
//   vorna.package.version  Version, SemVer, DotSeparated, Other
// The submodules are attributes only; they are never entered in sys.modules.
#include "bindings/api.hpp"

namespace vorna::bindings::api {

namespace {

constexpr const Class* version_classes[] = {
    &version_class,
    &semver_class,
    &dot_separated_class,
    &other_class,
};
constexpr Module version_module = {
    "version",
    "The version classes Version, SemVer, DotSeparated and Other (an attribute, not an importable module).",
    {},
    version_classes,
    {},
};
constexpr const Module* package_submodules[] = {&version_module};
constexpr Module package_module = {
    "package",
    "Holds the submodule version (an attribute, not an importable module).",
    package_submodules,
    {},
    {},
};
constexpr const Module* top_submodules[] = {&package_module};
constexpr const Function* top_functions[] = {&test_function, &init_tracing};
constexpr Module top_module = {
    "vorna", "Parse, inspect, edit, print and compare software version strings.", top_submodules, {}, top_functions,
};

}  // namespace

const Module& module_tree() noexcept { return top_module; }

}  // namespace vorna::bindings::api
