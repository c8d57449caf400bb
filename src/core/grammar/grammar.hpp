// The version grammars: text in, model value or the issue of the failure out.
// Matching reads nothing but the text; rendering the issue as a report is the
// caller's business.
#pragma once

#include <optional>
#include <string_view>
#include <variant>

#include "core/grammar/issue.hpp"
#include "core/model/version.hpp"

namespace vorna {

// Matches the whole of `text` (UTF-8) with the grammar of T (SemVer,
// DotSeparated, Other or Version) and builds the value in place in `out`,
// its block of lists put where `placement` offers room (see BlockPlacement).
// On failure the issue comes back and `out` is left as it was.
template <class T>
std::optional<ParseIssue> match_into(std::string_view text, T& out, BlockPlacement* placement = nullptr);

extern template std::optional<ParseIssue> match_into(std::string_view, SemVer&, BlockPlacement*);
extern template std::optional<ParseIssue> match_into(std::string_view, DotSeparated&, BlockPlacement*);
extern template std::optional<ParseIssue> match_into(std::string_view, Other&, BlockPlacement*);
extern template std::optional<ParseIssue> match_into(std::string_view, Version&, BlockPlacement*);

// The value, or the one issue of the failure.
template <class T> using Match = std::variant<T, ParseIssue>;

template <class T> Match<T> match(std::string_view text) {
    T value;
    if (std::optional<ParseIssue> issue = match_into(text, value)) return std::move(*issue);
    return value;
}

}  // namespace vorna
