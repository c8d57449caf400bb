// The version grammars: text in, model value or ParseError out.
#pragma once

#include <optional>
#include <string_view>
#include <variant>

#include "core/report.hpp"
#include "core/result.hpp"
#include "core/version.hpp"

namespace vorna {

// Source ids: the fully qualified names of the parsed types, shown in reports.
inline constexpr std::string_view semver_source_id = "vorna::package::version::semver::SemVer";
inline constexpr std::string_view dot_separated_source_id = "vorna::package::version::dot_separated::DotSeparated";
inline constexpr std::string_view other_source_id = "vorna::package::version::other::Other";
inline constexpr std::string_view version_source_id = "vorna::package::version::Version";

// The entry points. `text` is UTF-8; on failure the report is rendered.
Result<SemVer, ParseError> parse_semver(std::string_view text);
Result<DotSeparated, ParseError> parse_dot_separated(std::string_view text);
Result<Other, ParseError> parse_other(std::string_view text);
Result<Version, ParseError> parse_version(std::string_view text);

// The entry points for callers that hold the storage: the value is built in
// place in `out`, its block of lists put where `placement` offers room (see
// BlockPlacement), and nothing comes back; on failure the error comes back
// and `out` is left as it was.
std::optional<ParseError> parse_into(std::string_view text, SemVer& out, BlockPlacement* placement = nullptr);
std::optional<ParseError> parse_into(std::string_view text, DotSeparated& out, BlockPlacement* placement = nullptr);
std::optional<ParseError> parse_into(std::string_view text, Other& out, BlockPlacement* placement = nullptr);
std::optional<ParseError> parse_into(std::string_view text, Version& out, BlockPlacement* placement = nullptr);

// The same grammars, stopping short of the report: the value, or the one
// issue of the failure.
template <class T> using Match = std::variant<T, ParseIssue>;
Match<SemVer> match_semver(std::string_view text);
Match<DotSeparated> match_dot_separated(std::string_view text);
Match<Other> match_other(std::string_view text);
Match<Version> match_version(std::string_view text);

}  // namespace vorna
