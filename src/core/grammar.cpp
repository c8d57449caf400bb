// TEMPORARY placeholder until the grammar lands.
#include "core/grammar.hpp"

namespace vorna {

namespace {
template <class T> Result<T, ParseError> render(Match<T> m, std::string_view text, std::string_view id) {
    if (auto* v = std::get_if<T>(&m)) return std::move(*v);
    const ParseIssue& issue = std::get<ParseIssue>(m);
    return render_parse_failure(text, id, std::span<const ParseIssue>(&issue, 1));
}
ParseIssue unimplemented() { return ParseIssue{0, 0, std::string("grammar not built yet")}; }
}  // namespace

Match<SemVer> match_semver(std::string_view) { return unimplemented(); }
Match<DotSeparated> match_dot_separated(std::string_view) { return unimplemented(); }
Match<Other> match_other(std::string_view) { return unimplemented(); }
Match<Version> match_version(std::string_view) { return unimplemented(); }

Result<SemVer, ParseError> parse_semver(std::string_view t) { return render(match_semver(t), t, semver_source_id); }
Result<DotSeparated, ParseError> parse_dot_separated(std::string_view t) {
    return render(match_dot_separated(t), t, dot_separated_source_id);
}
Result<Other, ParseError> parse_other(std::string_view t) { return render(match_other(t), t, other_source_id); }
Result<Version, ParseError> parse_version(std::string_view t) { return render(match_version(t), t, version_source_id); }

}  // namespace vorna
