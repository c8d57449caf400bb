#include "core/grammar/grammar.hpp"

#include <array>
#include <optional>
#include <span>

#include "core/grammar/pending_issue.hpp"
#include "core/grammar/matcher.hpp"
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
    out.lists = PackedLists<2>(text, {shape.rc, shape.meta}, {shape.has_rc, shape.has_meta}, placement);
}

void build(std::string_view text, const DottedRange& shape, DotSeparated& out, BlockPlacement* placement) {
    out.lists = PackedLists<1>(text, {shape}, {true}, placement);
}

// The identifier is the whole text, one item.
void build(std::string_view text, Other& out, BlockPlacement* placement) {
    out.lists = PackedLists<1>(text, {DottedRange{0, text.size(), 1}}, {true}, placement);
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

// Texts longer than this are matched with tracking from the start. Tracking
// costs a little per rule, not per byte, so a long text pays next to nothing
// for it, and a failure then needs no second walk; a short text is matched
// bare and walked again only when it fails.
constexpr std::size_t tracked_from = 128;

}  // namespace

template <class T> std::optional<ParseIssue> match_into(std::string_view text, T& out, BlockPlacement* placement) {
    if (text.size() < tracked_from) [[likely]] {
        Matcher<NullTracker> m(text);
        if (accept(m, text, out, placement)) [[likely]] return std::nullopt;
        // The failing path: the grammar again with tracking.
        return issue(text, static_cast<const T*>(nullptr));
    }
    Matcher<IssueTracker> m(text);
    if (accept(m, text, out, placement)) return std::nullopt;
    return issue_of(text, m);
}

template std::optional<ParseIssue> match_into(std::string_view, SemVer&, BlockPlacement*);
template std::optional<ParseIssue> match_into(std::string_view, DotSeparated&, BlockPlacement*);
template std::optional<ParseIssue> match_into(std::string_view, Other&, BlockPlacement*);
template std::optional<ParseIssue> match_into(std::string_view, Version&, BlockPlacement*);

}  // namespace vorna
