#include "core/grammar/grammar.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <new>
#include <type_traits>
#include <utility>

#include "core/grammar/pending_issue.hpp"
#include "core/grammar/matcher.hpp"
#include "core/grammar/semver_scan.hpp"
#include "core/model/block_layout.hpp"
#include "core/platform/fault.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {

namespace {

using grammar::IssueTracker;
using grammar::Matcher;
using grammar::NullTracker;
using grammar::SemVerShape;

// The failing paths run the grammar again with tracking on; acceptance does
// not depend on tracking, so only the issue is new. Nothing is gathered.
ParseIssue issue_of(std::string_view text, const Matcher<IssueTracker>& m) {
    return m.tracker().pending().to_issue(text);
}

ParseIssue issue(std::string_view text, const SemVer*) {
    Matcher<IssueTracker> m(text);
    SemVerShape shape;
    m.semver_text(shape);
    return issue_of(text, m);
}

ParseIssue issue(std::string_view text, const DotSeparated*) {
    Matcher<IssueTracker> m(text);
    DottedRange shape;
    m.dot_separated_text(shape);
    return issue_of(text, m);
}

ParseIssue issue(std::string_view text, const Other*) {
    Matcher<IssueTracker> m(text);
    m.other_text();
    return issue_of(text, m);
}

// Issues of every alternative compete, so all three run again in order.
ParseIssue issue(std::string_view text, const Version*) {
    Matcher<IssueTracker> m(text);
    SemVerShape semver_shape;
    DottedRange list_shape;
    m.semver_text(semver_shape);
    m.dot_separated_text(list_shape);
    m.other_text();
    return issue_of(text, m);
}

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
template <class T, class K, std::size_t N, class... Args>
void make_at(BuildSite& site, const MatchedLists<N>& matched, Args&&... args) {
    BlockRoom room;
    void* at = site.make(matched.size.bytes_total, room);
    emplace_at<T, K>(at, std::forward<Args>(args)..., matched, room);
}

template <class T> void make_at(BuildSite& site, std::string_view text, const SemVerShape& shape) {
    const MatchedLists<2> matched(text, {&shape.rc, &shape.meta},
                                  unsigned(shape.has_rc) | unsigned(shape.has_meta) << 1);
    make_at<T, SemVer>(site, matched, shape.major, shape.minor, shape.patch);
}

template <class T> void make_at(BuildSite& site, std::string_view text, const DottedRange& shape) {
    make_at<T, DotSeparated>(site, MatchedLists<1>(text, {&shape}, 1), std::in_place);
}

// The identifier is the whole text, one item.
template <class T> void make_other_at(BuildSite& site, std::string_view text) {
    const DottedRange whole{0, text.size(), 1};
    make_at<T, Other>(site, MatchedLists<1>(text, {&whole}, 1), std::in_place);
}

template <class Tracker> bool accept_at(Matcher<Tracker>& m, std::string_view text, BuildSite& site, const SemVer*) {
    SemVerShape shape;
    if (!m.semver_text(shape)) return false;
    make_at<SemVer>(site, text, shape);
    return true;
}

template <class Tracker>
bool accept_at(Matcher<Tracker>& m, std::string_view text, BuildSite& site, const DotSeparated*) {
    DottedRange shape;
    if (!m.dot_separated_text(shape)) return false;
    make_at<DotSeparated>(site, text, shape);
    return true;
}

template <class Tracker> bool accept_at(Matcher<Tracker>& m, std::string_view text, BuildSite& site, const Other*) {
    if (!m.other_text()) return false;
    make_other_at<Other>(site, text);
    return true;
}

template <class Tracker> bool accept_at(Matcher<Tracker>& m, std::string_view text, BuildSite& site, const Version*) {
    if (SemVerShape shape; m.semver_text(shape)) {
        make_at<Version>(site, text, shape);
        return true;
    }
    if (DottedRange shape; m.dot_separated_text(shape)) {
        make_at<Version>(site, text, shape);
        return true;
    }
    if (m.other_text()) {
        make_other_at<Version>(site, text);
        return true;
    }
    return false;
}

// Texts longer than this are matched with tracking from the start. Tracking
// costs a little per rule, not per byte, so a long text pays next to nothing
// for it, and a failure then needs no second walk; a short text is scanned
// for the semantic-version form first where the grammar starts with it, then
// matched bare, and walked again with tracking only when it fails.
constexpr std::size_t tracked_from = 128;

// Whether the grammar of T starts with the semantic-version form, which the
// quick scan takes before the matcher runs.
template <class T> constexpr bool scans_semver = std::is_same_v<T, SemVer> || std::is_same_v<T, Version>;

// Storage for one value beside the caller, which match_into builds in and
// moves out of: the value owns its block, so it may be moved.
template <class T> class LocalSite final : public BuildSite {
public:
    void* make(std::size_t, BlockRoom&) override { return storage_; }
    T& value() noexcept { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace

template <class T> std::optional<ParseIssue> match_at(std::string_view text, BuildSite& site) {
    if (text.size() < tracked_from) [[likely]] {
        if constexpr (scans_semver<T>) {
            if (SemVerShape shape; grammar::scan_semver(text, shape)) [[likely]] {
                make_at<T>(site, text, shape);
                return std::nullopt;
            }
        }
        Matcher<NullTracker> m(text);
        if (accept_at(m, text, site, static_cast<const T*>(nullptr))) [[likely]] return std::nullopt;
        return issue(text, static_cast<const T*>(nullptr));
    }
    Matcher<IssueTracker> m(text);
    if (accept_at(m, text, site, static_cast<const T*>(nullptr))) return std::nullopt;
    return issue_of(text, m);
}

template std::optional<ParseIssue> match_at<SemVer>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_at<DotSeparated>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_at<Other>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_at<Version>(std::string_view, BuildSite&);

template <class T> std::optional<ParseIssue> match_into(std::string_view text, T& out) {
    LocalSite<T> site;
    if (std::optional<ParseIssue> issue = match_at<T>(text, site)) return issue;
    T& built = site.value();
    out = std::move(built);
    built.~T();
    return std::nullopt;
}

template std::optional<ParseIssue> match_into(std::string_view, SemVer&);
template std::optional<ParseIssue> match_into(std::string_view, DotSeparated&);
template std::optional<ParseIssue> match_into(std::string_view, Other&);
template std::optional<ParseIssue> match_into(std::string_view, Version&);

}  // namespace vorna
