#include "core/grammar.hpp"

#include <array>
#include <optional>
#include <span>
#include <type_traits>

#include "core/grammar_issue.hpp"
#include "core/grammar_matcher.hpp"
#include "core/utf8.hpp"

namespace vorna {

namespace grammar {

Expectation to_expectation(Expect e) {
    switch (e) {
        case Expect::TokenV: return Expectation::token_of('v');
        case Expect::TokenDot: return Expectation::token_of('.');
        case Expect::TokenHyphen: return Expectation::token_of('-');
        case Expect::TokenPlus: return Expectation::token_of('+');
        case Expect::EndOfInput: return Expectation::end_of_input();
        case Expect::Digit: return Expectation::label(label_digit);
        case Expect::Integer: return Expectation::label(label_integer);
        case Expect::PartCharacter: return Expectation::label(label_part_character);
        case Expect::DotList: return Expectation::label(label_dot_list);
        case Expect::Identifier: return Expectation::label(label_identifier);
    }
    return Expectation::something_else();
}

ParseIssue PendingIssue::to_issue(std::string_view text) const {
    if (state() == State::Message) return ParseIssue{position_, message_end_, std::string(message_text(message()))};
    // A failed match always recorded at least one test; should that ever not
    // hold, the issue still reports the start of the text.
    const std::size_t position = state() == State::Expected ? position_ : 0;
    ExpectedFound reason;
    std::size_t end = position;
    if (position < text.size()) {
        const utf8::Decoded d = utf8::decode(text, position);
        reason.found = d.scalar;
        end += d.length;
    }
    reason.expected.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) reason.expected.push_back(to_expectation((*this)[i]));
    return ParseIssue{position, end, std::move(reason)};
}

}  // namespace grammar

namespace {

using grammar::IssueTracker;
using grammar::ListShape;
using grammar::Matcher;
using grammar::NullTracker;
using grammar::SemVerShape;

// The fast recognisers. A match records where the lists lie; the value is
// then built in place, its block written straight from the text and put
// where `placement` offers room.
DottedRange range_of(std::string_view text, const ListShape& list) noexcept {
    return {text.data() + list.begin, text.data() + list.end, list.count};
}

void build(std::string_view text, const SemVerShape& shape, SemVer& out, BlockPlacement* placement) {
    out.major = shape.major;
    out.minor = shape.minor;
    out.patch = shape.patch;
    out.lists = PackedLists<2>({range_of(text, shape.rc), range_of(text, shape.meta)},
                               {shape.has_rc, shape.has_meta}, placement);
}

void build(std::string_view text, const ListShape& shape, DotSeparated& out, BlockPlacement* placement) {
    out.lists = PackedLists<1>({range_of(text, shape)}, {true}, placement);
}

// The identifier is the whole text, one item.
void build(std::string_view text, Other& out, BlockPlacement* placement) {
    out.lists = PackedLists<1>({DottedRange{text.data(), text.data() + text.size(), 1}}, {true}, placement);
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
    ListShape shape;
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
    if (ListShape shape; m.dot_separated_text(shape)) {
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
    ListShape shape;
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
    ListShape list_shape;
    m.semver_text(semver_shape);
    m.dot_separated_text(list_shape);
    m.other_text();
    return issue_of(text, m);
}

template <class T> std::string_view source_id_of() {
    if constexpr (std::is_same_v<T, SemVer>) {
        return semver_source_id;
    } else if constexpr (std::is_same_v<T, DotSeparated>) {
        return dot_separated_source_id;
    } else if constexpr (std::is_same_v<T, Other>) {
        return other_source_id;
    } else {
        return version_source_id;
    }
}

template <class T> ParseError report(std::string_view text, const ParseIssue& failure) {
    return render_parse_failure(text, source_id_of<T>(), std::span<const ParseIssue>(&failure, 1));
}

// The failing path: the grammar again with tracking, then the report.
template <class T> ParseError fail(std::string_view text) {
    return report<T>(text, issue(text, static_cast<const T*>(nullptr)));
}

// Texts longer than this are matched with tracking from the start. Tracking
// costs a little per rule, not per byte, so a long text pays next to nothing
// for it, and a failure then needs no second walk; a short text is matched
// bare and walked again only when it fails.
constexpr std::size_t tracked_from = 128;

template <class T>
std::optional<ParseError> parse_in_place(std::string_view text, T& out, BlockPlacement* placement) {
    if (text.size() < tracked_from) [[likely]] {
        Matcher<NullTracker> m(text);
        if (accept(m, text, out, placement)) [[likely]] return std::nullopt;
        return fail<T>(text);
    }
    Matcher<IssueTracker> m(text);
    if (accept(m, text, out, placement)) return std::nullopt;
    return report<T>(text, issue_of(text, m));
}

template <class T> Match<T> match(std::string_view text) {
    Matcher<NullTracker> m(text);
    if (T value; accept(m, text, value, nullptr)) return value;
    return issue(text, static_cast<const T*>(nullptr));
}

template <class T> Result<T, ParseError> parse(std::string_view text) {
    T value;
    if (auto error = parse_in_place(text, value, nullptr)) return std::move(*error);
    return value;
}

}  // namespace

std::optional<ParseError> parse_into(std::string_view text, SemVer& out, BlockPlacement* placement) {
    return parse_in_place(text, out, placement);
}
std::optional<ParseError> parse_into(std::string_view text, DotSeparated& out, BlockPlacement* placement) {
    return parse_in_place(text, out, placement);
}
std::optional<ParseError> parse_into(std::string_view text, Other& out, BlockPlacement* placement) {
    return parse_in_place(text, out, placement);
}
std::optional<ParseError> parse_into(std::string_view text, Version& out, BlockPlacement* placement) {
    return parse_in_place(text, out, placement);
}

Match<SemVer> match_semver(std::string_view text) { return match<SemVer>(text); }
Match<DotSeparated> match_dot_separated(std::string_view text) { return match<DotSeparated>(text); }
Match<Other> match_other(std::string_view text) { return match<Other>(text); }
Match<Version> match_version(std::string_view text) { return match<Version>(text); }

Result<SemVer, ParseError> parse_semver(std::string_view text) { return parse<SemVer>(text); }
Result<DotSeparated, ParseError> parse_dot_separated(std::string_view text) { return parse<DotSeparated>(text); }
Result<Other, ParseError> parse_other(std::string_view text) { return parse<Other>(text); }
Result<Version, ParseError> parse_version(std::string_view text) { return parse<Version>(text); }

}  // namespace vorna
