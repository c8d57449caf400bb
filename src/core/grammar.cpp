#include "core/grammar.hpp"

#include <optional>
#include <span>

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
    if (state_ == State::Message) return ParseIssue{position_, message_end_, std::string(message_text(message_))};
    // A failed match always recorded at least one test; should that ever not
    // hold, the issue still reports the start of the text.
    const std::size_t position = state_ == State::Expected ? position_ : 0;
    ExpectedFound reason;
    std::size_t end = position;
    if (position < text.size()) {
        const utf8::Decoded d = utf8::decode(text, position);
        reason.found = d.scalar;
        end += d.length;
    }
    reason.expected.reserve(size_);
    for (std::size_t i = 0; i < size_; ++i) reason.expected.push_back(to_expectation(items_[i]));
    return ParseIssue{position, end, std::move(reason)};
}

}  // namespace grammar

namespace {

using grammar::IssueTracker;
using grammar::ListShape;
using grammar::Matcher;
using grammar::NullTracker;
using grammar::SemVerShape;

// The parts of a matched list: the slice split at its dots.
TextList build_list(std::string_view text, const ListShape& shape) {
    TextList parts;
    if (shape.count == 0) return parts;
    parts.reserve(shape.count);
    // Parts are short: a plain loop beats a library search per part.
    std::size_t part = shape.begin;
    for (std::size_t i = shape.begin; i < shape.end; ++i) {
        if (text[i] != '.') continue;
        parts.emplace_back(text.substr(part, i - part));
        part = i + 1;
    }
    parts.emplace_back(text.substr(part, shape.end - part));
    return parts;
}

SemVer build_semver(std::string_view text, const SemVerShape& shape) {
    SemVer v{shape.major, shape.minor, shape.patch, std::nullopt, std::nullopt};
    if (shape.has_rc) v.rc = build_list(text, shape.rc);
    if (shape.has_meta) v.meta = build_list(text, shape.meta);
    return v;
}

// The failing paths run the grammar again with tracking on; acceptance does
// not depend on tracking, so only the issue is new.
ParseIssue issue_of(std::string_view text, Matcher<IssueTracker>& m) { return m.tracker().pending().to_issue(text); }

template <class T> Result<T, ParseError> render(Match<T>&& m, std::string_view text, std::string_view source_id) {
    if (auto* value = std::get_if<T>(&m)) return std::move(*value);
    const ParseIssue& issue = *std::get_if<ParseIssue>(&m);
    return render_parse_failure(text, source_id, std::span<const ParseIssue>(&issue, 1));
}

}  // namespace

Match<SemVer> match_semver(std::string_view text) {
    SemVerShape shape;
    if (Matcher<NullTracker>(text).semver_text(shape)) return build_semver(text, shape);
    Matcher<IssueTracker> m(text);
    m.semver_text(shape);
    return issue_of(text, m);
}

Match<DotSeparated> match_dot_separated(std::string_view text) {
    ListShape shape;
    if (Matcher<NullTracker>(text).dot_separated_text(shape)) return DotSeparated{build_list(text, shape)};
    Matcher<IssueTracker> m(text);
    m.dot_separated_text(shape);
    return issue_of(text, m);
}

Match<Other> match_other(std::string_view text) {
    if (Matcher<NullTracker>(text).other_text()) return Other{Text(text)};
    Matcher<IssueTracker> m(text);
    m.other_text();
    return issue_of(text, m);
}

Match<Version> match_version(std::string_view text) {
    Matcher<NullTracker> fast(text);
    if (SemVerShape shape; fast.semver_text(shape)) return Version(build_semver(text, shape));
    if (ListShape shape; fast.dot_separated_text(shape)) return Version(DotSeparated{build_list(text, shape)});
    if (fast.other_text()) return Version(Other{Text(text)});

    // Issues of every alternative compete, so all three run again in order.
    Matcher<IssueTracker> m(text);
    SemVerShape semver_shape;
    ListShape list_shape;
    m.semver_text(semver_shape);
    m.dot_separated_text(list_shape);
    m.other_text();
    return issue_of(text, m);
}

Result<SemVer, ParseError> parse_semver(std::string_view text) {
    return render(match_semver(text), text, semver_source_id);
}

Result<DotSeparated, ParseError> parse_dot_separated(std::string_view text) {
    return render(match_dot_separated(text), text, dot_separated_source_id);
}

Result<Other, ParseError> parse_other(std::string_view text) { return render(match_other(text), text, other_source_id); }

Result<Version, ParseError> parse_version(std::string_view text) {
    return render(match_version(text), text, version_source_id);
}

}  // namespace vorna
