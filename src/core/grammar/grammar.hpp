// The version grammars: text in, model value or the issue of the failure out.
// Matching reads nothing but the text; rendering the issue as a report is the
// caller's business.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <variant>

#include "core/grammar/issue.hpp"
#include "core/model/version.hpp"

namespace vorna {

// Where a matched value is built, chosen once the match is known: `make` is
// called with the bytes of the value's block of lists (0 when it has none)
// and returns uninitialised storage, sized and aligned for the value, where
// it is then constructed; it sets `room` to room for the block (see
// BlockRoom), or leaves it empty to let the value allocate the block. A
// block larger than the room it is given ends the process before a byte of
// it is written. It throws std::bad_alloc when it cannot allocate.
class BuildSite {
public:
    virtual void* make(std::size_t block_bytes, BlockRoom& room) = 0;

protected:
    ~BuildSite() = default;
};

// Matches the whole of `text` with the grammar of T and constructs the value
// at the storage `site` gives, in one step and with no intermediate value. On
// failure the issue comes back and `site` was never called. Should the
// value's construction throw after `make`, the storage holds no value.
template <class T> std::optional<ParseIssue> match_at(std::string_view text, BuildSite& site);

extern template std::optional<ParseIssue> match_at<SemVer>(std::string_view, BuildSite&);
extern template std::optional<ParseIssue> match_at<DotSeparated>(std::string_view, BuildSite&);
extern template std::optional<ParseIssue> match_at<Other>(std::string_view, BuildSite&);
extern template std::optional<ParseIssue> match_at<Version>(std::string_view, BuildSite&);

// Matches the whole of `text` (UTF-8) with the grammar of T (SemVer,
// DotSeparated, Other or Version) and replaces `out` by the value, built as
// match_at builds it, its block on the heap. On failure the issue comes back
// and `out` is left as it was.
template <class T> std::optional<ParseIssue> match_into(std::string_view text, T& out);

extern template std::optional<ParseIssue> match_into(std::string_view, SemVer&);
extern template std::optional<ParseIssue> match_into(std::string_view, DotSeparated&);
extern template std::optional<ParseIssue> match_into(std::string_view, Other&);
extern template std::optional<ParseIssue> match_into(std::string_view, Version&);

// The value, or the one issue of the failure.
template <class T> using Match = std::variant<T, ParseIssue>;

template <class T> Match<T> match(std::string_view text) {
    T value;
    if (std::optional<ParseIssue> issue = match_into(text, value)) return std::move(*issue);
    return value;
}

}  // namespace vorna
