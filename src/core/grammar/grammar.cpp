// The grammar stage: the matcher and the quick scan of a semantic version,
// the expected items a failure gathers, and the ParseIssue a rejected text
// hands back. This file matches a text and builds the value it describes.

#include "core/grammar/grammar.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
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

// The fast recognisers. A match records where the lists lie; the value is
// then built in place, its block written straight from the text and put
// where `placement` offers room.
void build(std::string_view text, const SemVerShape& shape, SemVer& out, BlockPlacement* placement) {
    out.major = shape.major;
    out.minor = shape.minor;
    out.patch = shape.patch;
    out.lists.assign(MatchedLists<2>{text, {shape.rc, shape.meta}, {shape.has_rc, shape.has_meta}, placement});
}

void build(std::string_view text, const DottedRange& shape, DotSeparated& out, BlockPlacement* placement) {
    out.lists.assign(MatchedLists<1>{text, {shape}, {true}, placement});
}

// The identifier is the whole text, one item.
void build(std::string_view text, Other& out, BlockPlacement* placement) {
    out.lists.assign(MatchedLists<1>{text, {DottedRange{0, text.size(), 1}}, {true}, placement});
}

template <class Tracker>
bool accept(Matcher<Tracker>& m, std::string_view text, SemVer& out, BlockPlacement* placement) {
    SemVerShape shape;
    if (!m.semver_text(shape)) return false;
    build(text, shape, out, placement);
    return true;
}

template <class Tracker>
bool accept(Matcher<Tracker>& m, std::string_view text, DotSeparated& out, BlockPlacement* placement) {
    DottedRange shape;
    if (!m.dot_separated_text(shape)) return false;
    build(text, shape, out, placement);
    return true;
}

template <class Tracker>
bool accept(Matcher<Tracker>& m, std::string_view text, Other& out, BlockPlacement* placement) {
    if (!m.other_text()) return false;
    build(text, out, placement);
    return true;
}

// Tries the kinds in their declared order; the first that takes the whole
// text is the value. With a tracking matcher the issues of all three
// alternatives compete, as a failure reports them.
template <class Tracker>
bool accept(Matcher<Tracker>& m, std::string_view text, Version& out, BlockPlacement* placement) {
    if (SemVerShape shape; m.semver_text(shape)) {
        build(text, shape, out.emplace<SemVer>(), placement);
        return true;
    }
    if (DottedRange shape; m.dot_separated_text(shape)) {
        build(text, shape, out.emplace<DotSeparated>(), placement);
        return true;
    }
    if (m.other_text()) {
        build(text, out.emplace<Other>(), placement);
        return true;
    }
    return false;
}

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

// The room a site gave for a block: handed out once, and only to a block
// that fits it.
class GivenRoom final : public BlockPlacement {
public:
    GivenRoom() noexcept = default;
    explicit GivenRoom(BlockRoom room) noexcept : room_(room) {}
    void* place(std::size_t bytes) override {
        if (!room_.at) return nullptr;
        if (bytes > room_.bytes) [[unlikely]] internal_fault("a block larger than the room given for it");
        return std::exchange(room_.at, nullptr);
    }

private:
    BlockRoom room_;
};

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
// which is then built there.
template <std::size_t N> void* make_site(BuildSite& site, MatchedLists<N>& matched, GivenRoom& given) {
    BlockRoom room;
    void* at = site.make(matched.size.bytes_total, room);
    given = GivenRoom(room);
    matched.placement = &given;
    return at;
}

template <class T> void make_at(BuildSite& site, std::string_view text, const SemVerShape& shape) {
    MatchedLists<2> matched(text, {shape.rc, shape.meta}, {shape.has_rc, shape.has_meta});
    GivenRoom given;
    void* at = make_site(site, matched, given);
    emplace_at<T, SemVer>(at, shape.major, shape.minor, shape.patch, matched);
}

template <class T> void make_at(BuildSite& site, std::string_view text, const DottedRange& shape) {
    MatchedLists<1> matched(text, {shape}, {true});
    GivenRoom given;
    void* at = make_site(site, matched, given);
    emplace_at<T, DotSeparated>(at, std::in_place, matched);
}

// The identifier is the whole text, one item.
template <class T> void make_other_at(BuildSite& site, std::string_view text) {
    MatchedLists<1> matched(text, {DottedRange{0, text.size(), 1}}, {true});
    GivenRoom given;
    void* at = make_site(site, matched, given);
    emplace_at<T, Other>(at, std::in_place, matched);
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

// The value of the semantic version `shape` describes, as T: itself or held
// by a Version.
void build_semver(std::string_view text, const SemVerShape& shape, SemVer& out, BlockPlacement* placement) {
    build(text, shape, out, placement);
}
void build_semver(std::string_view text, const SemVerShape& shape, Version& out, BlockPlacement* placement) {
    build(text, shape, out.emplace<SemVer>(), placement);
}

}  // namespace

template <class T> std::optional<ParseIssue> match_into(std::string_view text, T& out, BlockPlacement* placement) {
    if (text.size() < tracked_from) [[likely]] {
        if constexpr (scans_semver<T>) {
            if (SemVerShape shape; grammar::scan_semver(text, shape)) [[likely]] {
                build_semver(text, shape, out, placement);
                return std::nullopt;
            }
        }
        Matcher<NullTracker> m(text);
        if (accept(m, text, out, placement)) [[likely]] return std::nullopt;
        // The failing path: the grammar again with tracking.
        return issue(text, static_cast<const T*>(nullptr));
    }
    Matcher<IssueTracker> m(text);
    if (accept(m, text, out, placement)) return std::nullopt;
    return issue_of(text, m);
}

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

template std::optional<ParseIssue> match_into(std::string_view, SemVer&, BlockPlacement*);
template std::optional<ParseIssue> match_into(std::string_view, DotSeparated&, BlockPlacement*);
template std::optional<ParseIssue> match_into(std::string_view, Other&, BlockPlacement*);
template std::optional<ParseIssue> match_into(std::string_view, Version&, BlockPlacement*);

}  // namespace vorna
