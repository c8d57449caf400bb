#include "core/model/semver.hpp"

namespace vorna {

namespace {

void append_debug_optional_list(std::string& out, const std::optional<ListView>& list) {
    if (!list) {
        out.append("None");
        return;
    }
    out.append("Some(");
    append_quoted_list(out, *list);
    out.push_back(')');
}

}  // namespace

bool SemVer::equal_rc(const SemVer& a, const SemVer& b) noexcept { return a.rc() == b.rc(); }

std::strong_ordering SemVer::compare_rc(const SemVer& a, const SemVer& b) noexcept {
    const bool a_rc = a.lists.present(0);
    const bool b_rc = b.lists.present(0);
    if (!a_rc || !b_rc) {
        return a_rc == b_rc ? std::strong_ordering::equal : a_rc ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    return a.lists.get(0) <=> b.lists.get(0);
}

void append_debug(std::string& out, const SemVer& v) {
    out.append("SemVer { major: ");
    append_decimal(out, v.major);
    out.append(", minor: ");
    append_decimal(out, v.minor);
    out.append(", patch: ");
    append_decimal(out, v.patch);
    out.append(", rc: ");
    append_debug_optional_list(out, v.rc());
    out.append(", meta: ");
    append_debug_optional_list(out, v.meta());
    out.append(" }");
}

}  // namespace vorna
