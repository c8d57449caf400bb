// Parsing as callers see it: the grammar's match, and on failure the report
// of its issue rendered with the colour this process decided. This is the
// stage above the grammars and the report; nothing below it includes it.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "core/grammar/grammar.hpp"
#include "core/parse/result.hpp"
#include "core/report/report.hpp"

namespace vorna {

// The source id of each parsed type, shown in its reports: the type's fully
// qualified name.
template <class T> inline constexpr std::string_view source_id = "vorna::package::version::Version";
template <> inline constexpr std::string_view source_id<SemVer> = "vorna::package::version::semver::SemVer";
template <> inline constexpr std::string_view source_id<DotSeparated> =
    "vorna::package::version::dot_separated::DotSeparated";
template <> inline constexpr std::string_view source_id<Other> = "vorna::package::version::other::Other";

// As match_into, with the failure ready to be written as a report (it
// refers to `text`, which must outlive it). The constructors of
// the Python classes build through this one, straight into their instances;
// the success path is inline and the report one call away.
template <class T> std::optional<ParseFailure> parse_into(std::string_view text, T& out) {
    std::optional<ParseIssue> issue = match_into(text, out);
    if (!issue) [[likely]] return std::nullopt;
    return ParseFailure{text, source_id<T>, std::move(*issue)};
}

// As match_at, with the failure ready to be written as a report (it refers
// to `text`, which must outlive it). `Terminated` as match_at takes it.
template <class T, bool Terminated = false, class Site>
std::optional<ParseFailure> parse_at(std::string_view text, Site& site) {
    std::optional<ParseIssue> issue = [&] {
        if constexpr (std::is_final_v<Site>) {
            return match_at<T, Terminated>(text, site);
        } else {
            return match_at<T>(text, site);
        }
    }();
    if (!issue) [[likely]] return std::nullopt;
    return ParseFailure{text, source_id<T>, std::move(*issue)};
}

// The value, or the report of the failure.
Result<SemVer, ParseError> parse_semver(std::string_view text);
Result<DotSeparated, ParseError> parse_dot_separated(std::string_view text);
Result<Other, ParseError> parse_other(std::string_view text);
Result<Version, ParseError> parse_version(std::string_view text);

}  // namespace vorna
