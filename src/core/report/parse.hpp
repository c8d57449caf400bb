// Parsing as callers see it: the grammar's match, and on failure the report
// of its issue rendered with the colour this process decided.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "core/grammar/grammar.hpp"
#include "core/report/report.hpp"
#include "core/report/result.hpp"

namespace vorna {

// The source id of each parsed type, shown in its reports: the type's fully
// qualified name.
template <class T> inline constexpr std::string_view source_id = "vorna::package::version::Version";
template <> inline constexpr std::string_view source_id<SemVer> = "vorna::package::version::semver::SemVer";
template <> inline constexpr std::string_view source_id<DotSeparated> =
    "vorna::package::version::dot_separated::DotSeparated";
template <> inline constexpr std::string_view source_id<Other> = "vorna::package::version::other::Other";

// As match_into, with the failure ready to be written as a report; it
// refers to `text`, which must outlive it.
template <class T>
std::optional<ParseFailure> parse_into(std::string_view text, T& out, BlockPlacement* placement = nullptr) {
    std::optional<ParseIssue> issue = match_into(text, out, placement);
    if (!issue) [[likely]] return std::nullopt;
    return ParseFailure{text, source_id<T>, std::move(*issue)};
}

template <class T> Result<T, ParseError> parse(std::string_view text) {
    T value;
    if (std::optional<ParseFailure> failure = parse_into(text, value)) return failure->to_error();
    return value;
}

inline Result<SemVer, ParseError> parse_semver(std::string_view text) { return parse<SemVer>(text); }
inline Result<DotSeparated, ParseError> parse_dot_separated(std::string_view text) { return parse<DotSeparated>(text); }
inline Result<Other, ParseError> parse_other(std::string_view text) { return parse<Other>(text); }
inline Result<Version, ParseError> parse_version(std::string_view text) { return parse<Version>(text); }

}  // namespace vorna
