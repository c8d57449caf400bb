// The version grammars: text in, model value or the issue of the failure out.
// Matching reads nothing but the text; rendering the issue as a report is the
// caller's business.
#pragma once

#include <cstddef>
#include <new>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/grammar/issue.hpp"
#include "core/grammar/semver_scan.hpp"
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

// As match_at, for a text the quick scan of the semantic-version form has
// turned down or not taken (see below).
template <class T> std::optional<ParseIssue> match_unscanned(std::string_view text, BuildSite& site);

extern template std::optional<ParseIssue> match_unscanned<SemVer>(std::string_view, BuildSite&);
extern template std::optional<ParseIssue> match_unscanned<DotSeparated>(std::string_view, BuildSite&);
extern template std::optional<ParseIssue> match_unscanned<Other>(std::string_view, BuildSite&);
extern template std::optional<ParseIssue> match_unscanned<Version>(std::string_view, BuildSite&);

// The issue of a short text the bare matcher turned down: the grammar of T
// again, with tracking.
template <class T> ParseIssue failure_issue(std::string_view text);

extern template ParseIssue failure_issue<SemVer>(std::string_view);
extern template ParseIssue failure_issue<DotSeparated>(std::string_view);
extern template ParseIssue failure_issue<Other>(std::string_view);
extern template ParseIssue failure_issue<Version>(std::string_view);

namespace grammar {

// Texts longer than this are matched with tracking from the start. Tracking
// costs a little per rule, not per byte, so a long text pays next to nothing
// for it, and a failure then needs no second walk; a short text is scanned
// for the semantic-version form first where the grammar starts with it, then
// matched bare, and walked again with tracking only when it fails.
inline constexpr std::size_t tracked_from = 128;

// Whether the grammar of T starts with the semantic-version form, which the
// quick scan takes before the matcher runs.
template <class T> inline constexpr bool scans_semver = std::is_same_v<T, SemVer> || std::is_same_v<T, Version>;

// Constructs a value of kind K at `at`: as itself, or held by a Version.
template <class T, class K, class... Args> void emplace_at(void* at, Args&&... args) {
    if constexpr (std::is_same_v<T, Version>) {
        new (at) Version(std::in_place_type<K>, std::forward<Args>(args)...);
    } else {
        static_assert(std::is_same_v<T, K>);
        new (at) K(std::forward<Args>(args)...);
    }
}

// Asks `site` for the value's storage and room for the block of `matched`,
// then constructs the value of kind K there with `args`, the lists and the
// room given.
template <class T, class K, std::size_t N, class Site, class... Args>
void build_at(Site& site, const MatchedLists<N>& matched, Args&&... args) {
    BlockRoom room;
    void* at = site.make(matched.size.bytes_total, room);
    emplace_at<T, K>(at, std::forward<Args>(args)..., matched, room);
}

// The semantic version `shape` describes, as T, at `site`.
template <class T, class Site> void make_semver_at(Site& site, std::string_view text, const SemVerShape& shape) {
    const MatchedLists<2> matched(text, {&shape.rc, &shape.meta},
                                  unsigned(shape.has_rc) | unsigned(shape.has_meta) << 1);
    build_at<T, SemVer>(site, matched, shape.major, shape.minor, shape.patch);
}

// Whether `m`, matching the whole of `text`, takes it as T; then the value
// is built at `site`.
template <class T, class Site> void make_dotted_at(Site& site, std::string_view text, const DottedRange& shape) {
    build_at<T, DotSeparated>(site, MatchedLists<1>(text, {&shape}, 1), std::in_place);
}

// The identifier is the whole text, one item.
template <class T, class Site> void make_other_at(Site& site, std::string_view text) {
    const DottedRange whole{0, text.size(), 1};
    build_at<T, Other>(site, MatchedLists<1>(text, {&whole}, 1), std::in_place);
}

template <class Tracker, class Site> bool accept_at(Matcher<Tracker>& m, std::string_view text, Site& site, const SemVer*) {
    SemVerShape shape;
    if (!m.semver_text(shape)) return false;
    make_semver_at<SemVer>(site, text, shape);
    return true;
}

template <class Tracker, class Site>
bool accept_at(Matcher<Tracker>& m, std::string_view text, Site& site, const DotSeparated*) {
    DottedRange shape;
    if (!m.dot_separated_text(shape)) return false;
    make_dotted_at<DotSeparated>(site, text, shape);
    return true;
}

template <class Tracker, class Site> bool accept_at(Matcher<Tracker>& m, std::string_view text, Site& site, const Other*) {
    if (!m.other_text()) return false;
    make_other_at<Other>(site, text);
    return true;
}

template <class Tracker, class Site> bool accept_at(Matcher<Tracker>& m, std::string_view text, Site& site, const Version*) {
    if (SemVerShape shape; m.semver_text(shape)) {
        make_semver_at<Version>(site, text, shape);
        return true;
    }
    if (DottedRange shape; m.dot_separated_text(shape)) {
        make_dotted_at<Version>(site, text, shape);
        return true;
    }
    if (m.other_text()) {
        make_other_at<Version>(site, text);
        return true;
    }
    return false;
}


}  // namespace grammar

// As match_at, with the site's own type known (a final class): the quick
// scan, the bare matcher and the value's construction are inline, so that a
// value is built with no call through the site's interface and no call into
// the grammar; only a failure and a long text take a call. With
// `Terminated`, the byte past the text is readable and NUL (a host string's
// buffer) and the scan leans on it.
template <class T, bool Terminated = false, class Site>
    requires(!std::is_same_v<Site, BuildSite> && std::is_final_v<Site>)
std::optional<ParseIssue> match_at(std::string_view text, Site& site) {
    if constexpr (grammar::scans_semver<T>) {
        if (text.size() < grammar::tracked_from) [[likely]] {
            grammar::SemVerShape shape;
            const bool taken =
                Terminated ? grammar::scan_semver_terminated(text, shape) : grammar::scan_semver(text, shape);
            if (taken) [[likely]] {
                grammar::make_semver_at<T>(site, text, shape);
                return std::nullopt;
            }
        }
    }
    if (text.size() < grammar::tracked_from) [[likely]] {
        grammar::Matcher<grammar::NullTracker> m(text);
        if (grammar::accept_at(m, text, site, static_cast<const T*>(nullptr))) [[likely]] return std::nullopt;
        return failure_issue<T>(text);
    }
    return match_unscanned<T>(text, site);
}

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
