#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/report/parse.hpp"
#include "core/grammar/pending_issue.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {
namespace {

constexpr std::string_view too_large = "integer too large (maximum 4294967295)";

enum class Entry { SemVer, DotSeparated, Other, Version };

std::ostream& operator<<(std::ostream& os, Entry e) {
    switch (e) {
        case Entry::SemVer: return os << "parse_semver";
        case Entry::DotSeparated: return os << "parse_dot_separated";
        case Entry::Other: return os << "parse_other";
        case Entry::Version: return os << "parse_version";
    }
    return os;
}

std::string_view source_id_of(Entry e) {
    switch (e) {
        case Entry::SemVer: return source_id<SemVer>;
        case Entry::DotSeparated: return source_id<DotSeparated>;
        case Entry::Other: return source_id<Other>;
        case Entry::Version: return source_id<Version>;
    }
    return {};
}

// The outcome of a match: the debug form of the value, or the issue.
struct Outcome {
    std::optional<std::string> debug;
    std::optional<ParseIssue> issue;
};

template <class T> Outcome outcome_of(Match<T>&& m) {
    if (const T* value = std::get_if<T>(&m)) return {to_debug(*value), std::nullopt};
    return {std::nullopt, std::get<ParseIssue>(std::move(m))};
}

Outcome match(Entry e, std::string_view text) {
    switch (e) {
        case Entry::SemVer: return outcome_of(vorna::match<SemVer>(text));
        case Entry::DotSeparated: return outcome_of(vorna::match<DotSeparated>(text));
        case Entry::Other: return outcome_of(vorna::match<Other>(text));
        case Entry::Version: return outcome_of(vorna::match<Version>(text));
    }
    return {};
}

// The report text of a failed parse, or nothing when the parse succeeded.
std::optional<std::string> report_of(Entry e, std::string_view text) {
    const auto message = [](auto&& result) -> std::optional<std::string> {
        if (result) return std::nullopt;
        return result.error().message();
    };
    switch (e) {
        case Entry::SemVer: return message(parse_semver(text));
        case Entry::DotSeparated: return message(parse_dot_separated(text));
        case Entry::Other: return message(parse_other(text));
        case Entry::Version: return message(parse_version(text));
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Rejected texts: where the failure lies and what its sentence says.

struct Rejection {
    Entry entry;
    std::string_view input;
    std::size_t span_start;
    std::size_t span_end;
    std::string_view sentence;

    friend std::ostream& operator<<(std::ostream& os, const Rejection& r) {
        return os << r.entry << "(\"" << r.input << "\")";
    }
};

class GrammarRejects : public testing::TestWithParam<Rejection> {};

TEST_P(GrammarRejects, IssueSpanAndSentence) {
    const Rejection& r = GetParam();
    const Outcome out = match(r.entry, r.input);
    ASSERT_TRUE(out.issue.has_value()) << "accepted as " << out.debug.value_or("");
    EXPECT_EQ(out.issue->span_start, r.span_start);
    EXPECT_EQ(out.issue->span_end, r.span_end);
    EXPECT_EQ(out.issue->sentence(), r.sentence);
}

TEST_P(GrammarRejects, ReportLocatesTheIssueAndCarriesSentence) {
    const Rejection& r = GetParam();
    const std::optional<std::string> report = report_of(r.entry, r.input);
    ASSERT_TRUE(report.has_value());
    // Every text here is ASCII up to its issue, so the column is the byte
    // offset plus one; no grammar accepts a line break, so the line is 1.
    const std::string location =
        std::string(source_id_of(r.entry)) + ":1:" + std::to_string(r.span_start + 1) + " ]";
    EXPECT_NE(report->find(location), std::string::npos) << *report;
    EXPECT_NE(report->find(r.sentence), std::string::npos) << *report;
}

// The worked traces of the grammar, row by row.
const Rejection worked_traces[] = {
    {Entry::SemVer, "1.2.x", 4, 5, "found 'x' expected integer"},
    {Entry::SemVer, "1.2", 3, 3, "found end of input expected digit, or '.'"},
    {Entry::SemVer, "1.2.3.4", 5, 6, "found '.' expected digit, '-', '+', or end of input"},
    {Entry::SemVer, "", 0, 0, "found end of input expected 'v', or integer"},
    {Entry::SemVer, "x1.2.3", 0, 1, "found 'x' expected 'v', or integer"},
    {Entry::SemVer, "1.2.3-a..b", 8, 9, "found '.' expected alphanumeric or '-'"},
    {Entry::SemVer, "1.2.3-_", 6, 7, "found '_' expected dot-separated list, '+', or end of input"},
    {Entry::DotSeparated, "_x", 0, 1, "found '_' expected dot-separated list, or end of input"},
    {Entry::DotSeparated, "1.2.", 4, 4, "found end of input expected alphanumeric or '-'"},
    {Entry::DotSeparated, "1.2_3", 3, 4, "found '_' expected alphanumeric or '-', '.', or end of input"},
    {Entry::Other, "1.2.x", 0, 1, "found '1' expected identifier"},
    {Entry::Other, "foo.bar", 3, 4, "found '.' expected identifier, or end of input"},
    {Entry::Version, "1.2.3_x", 5, 6,
     "found '_' expected digit, '-', '+', end of input, alphanumeric or '-', or '.'"},
    {Entry::Version, "1.2.3-beta_1", 10, 11, "found '_' expected alphanumeric or '-', '.', '+', or end of input"},
    {Entry::Version, ".", 0, 1, "found '.' expected 'v', integer, dot-separated list, end of input, or identifier"},
};
INSTANTIATE_TEST_SUITE_P(GrammarWorkedTraces, GrammarRejects, testing::ValuesIn(worked_traces));

const Rejection edge_rejections[] = {
    {Entry::SemVer, "V1.2.3", 0, 1, "found 'V' expected 'v', or integer"},
    {Entry::SemVer, " 1.2.3", 0, 1, "found ' ' expected 'v', or integer"},
    {Entry::SemVer, "1.2.3 ", 5, 6, "found ' ' expected digit, '-', '+', or end of input"},
    {Entry::SemVer, "latest", 0, 1, "found 'l' expected 'v', or integer"},
    {Entry::SemVer, "1.2.3-rc.1+b..c", 13, 14, "found '.' expected alphanumeric or '-'"},
    {Entry::SemVer, "1.2.3-a+b+c", 9, 10, "found '+' expected alphanumeric or '-', '.', or end of input"},
    {Entry::SemVer, "1.2.3\n", 5, 6, "found '\u240A' expected digit, '-', '+', or end of input"},
    {Entry::SemVer, "1.2.3é", 5, 7, "found 'é' expected digit, '-', '+', or end of input"},
    {Entry::Version, "foo_bar-1", 7, 8, "found '-' expected identifier, or end of input"},
    {Entry::Version, "1.2.3é", 5, 7,
     "found 'é' expected digit, '-', '+', end of input, alphanumeric or '-', or '.'"},
    {Entry::Version, "a b", 1, 2, "found ' ' expected alphanumeric or '-', '.', end of input, or identifier"},
    {Entry::Version, "1..2", 2, 3, "found '.' expected integer, or alphanumeric or '-'"},
    {Entry::DotSeparated, "é", 0, 2, "found 'é' expected dot-separated list, or end of input"},
    {Entry::DotSeparated, "a..b", 2, 3, "found '.' expected alphanumeric or '-'"},
    {Entry::DotSeparated, "a.", 2, 2, "found end of input expected alphanumeric or '-'"},
    {Entry::DotSeparated, ".a", 0, 1, "found '.' expected dot-separated list, or end of input"},
    {Entry::Other, "", 0, 0, "found end of input expected identifier"},
    {Entry::Other, "\u0301x", 0, 2, "found '\u0301' expected identifier"},
    {Entry::Other, "ab-c", 2, 3, "found '-' expected identifier, or end of input"},
};
INSTANTIATE_TEST_SUITE_P(GrammarEdgeCases, GrammarRejects, testing::ValuesIn(edge_rejections));

// Integers above 4294967295 fail with a message over all their digits.
const Rejection integer_too_large[] = {
    {Entry::SemVer, "4294967296.0.0", 0, 10, too_large},
    {Entry::SemVer, "1.2.99999999999999999999", 4, 24, too_large},
    {Entry::SemVer, "v4294967296.0.0", 1, 11, too_large},
    {Entry::SemVer, "1.4294967296.0", 2, 12, too_large},
    {Entry::SemVer, "00004294967296.0.0", 0, 14, too_large},
    {Entry::SemVer, "18446744073709551616.0.0", 0, 20, too_large},
    {Entry::SemVer, "4294967296", 0, 10, too_large},
    // Issues further on still win over the message.
    {Entry::Version, "4294967296.0.0_", 14, 15, "found '_' expected alphanumeric or '-', '.', or end of input"},
};
INSTANTIATE_TEST_SUITE_P(GrammarIntegerTooLarge, GrammarRejects, testing::ValuesIn(integer_too_large));

// ---------------------------------------------------------------------------
// Accepted texts, shown by the debug form of the value.

struct Acceptance {
    Entry entry;
    std::string_view input;
    std::string_view debug;

    friend std::ostream& operator<<(std::ostream& os, const Acceptance& a) {
        return os << a.entry << "(\"" << a.input << "\")";
    }
};

class GrammarAccepts : public testing::TestWithParam<Acceptance> {};

TEST_P(GrammarAccepts, Value) {
    const Acceptance& a = GetParam();
    const Outcome out = match(a.entry, a.input);
    ASSERT_TRUE(out.debug.has_value()) << out.issue->sentence();
    EXPECT_EQ(*out.debug, a.debug);
    EXPECT_EQ(report_of(a.entry, a.input), std::nullopt);
}

const Acceptance accepted[] = {
    {Entry::Version, "1.2.3-rc.1", "Version::SemVer { major: 1, minor: 2, patch: 3, rc: Some([\"rc\", \"1\"]), meta: None }"},
    {Entry::SemVer, "v1.2.3", "SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }"},
    {Entry::Version, "v1.2.3", "Version::SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }"},
    {Entry::Version, "V1.2.3", "Version::DotSeparated { parts: [\"V1\", \"2\", \"3\"] }"},
    {Entry::SemVer, "01.002.0003", "SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }"},
    {Entry::SemVer, "4294967295.0.0", "SemVer { major: 4294967295, minor: 0, patch: 0, rc: None, meta: None }"},
    {Entry::SemVer, "0004294967295.0.0", "SemVer { major: 4294967295, minor: 0, patch: 0, rc: None, meta: None }"},
    {Entry::SemVer, "0.0.4294967295", "SemVer { major: 0, minor: 0, patch: 4294967295, rc: None, meta: None }"},
    {Entry::Version, "4294967296.0.0", "Version::DotSeparated { parts: [\"4294967296\", \"0\", \"0\"] }"},
    {Entry::Version, "99999999999999999999.1.1",
     "Version::DotSeparated { parts: [\"99999999999999999999\", \"1\", \"1\"] }"},
    {Entry::SemVer, "1.2.3-", "SemVer { major: 1, minor: 2, patch: 3, rc: Some([]), meta: None }"},
    {Entry::SemVer, "1.2.3+", "SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: Some([]) }"},
    {Entry::SemVer, "1.2.3-+", "SemVer { major: 1, minor: 2, patch: 3, rc: Some([]), meta: Some([]) }"},
    {Entry::SemVer, "1.2.3--", "SemVer { major: 1, minor: 2, patch: 3, rc: Some([\"-\"]), meta: None }"},
    {Entry::SemVer, "1.2.3-rc.1+build.5",
     "SemVer { major: 1, minor: 2, patch: 3, rc: Some([\"rc\", \"1\"]), meta: Some([\"build\", \"5\"]) }"},
    {Entry::SemVer, "1.2.3+b-c", "SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: Some([\"b-c\"]) }"},
    {Entry::SemVer, "1.2.3-4294967296",
     "SemVer { major: 1, minor: 2, patch: 3, rc: Some([\"4294967296\"]), meta: None }"},
    {Entry::Version, "1.2.3.4", "Version::DotSeparated { parts: [\"1\", \"2\", \"3\", \"4\"] }"},
    {Entry::Version, "1.2", "Version::DotSeparated { parts: [\"1\", \"2\"] }"},
    {Entry::Version, "v1.2", "Version::DotSeparated { parts: [\"v1\", \"2\"] }"},
    {Entry::Version, "latest", "Version::DotSeparated { parts: [\"latest\"] }"},
    {Entry::Version, "1.2.x", "Version::DotSeparated { parts: [\"1\", \"2\", \"x\"] }"},
    {Entry::Version, "1.2.3-.a", "Version::DotSeparated { parts: [\"1\", \"2\", \"3-\", \"a\"] }"},
    {Entry::Version, "", "Version::DotSeparated { parts: [] }"},
    {Entry::DotSeparated, "", "DotSeparated { parts: [] }"},
    {Entry::DotSeparated, "2024.05", "DotSeparated { parts: [\"2024\", \"05\"] }"},
    {Entry::DotSeparated, "-", "DotSeparated { parts: [\"-\"] }"},
    {Entry::Version, "foo_bar", "Version::Other { value: \"foo_bar\" }"},
    {Entry::Version, "_x", "Version::Other { value: \"_x\" }"},
    {Entry::Version, "_", "Version::Other { value: \"_\" }"},
    {Entry::Version, "é", "Version::Other { value: \"é\" }"},
    {Entry::Version, "x\u0301", "Version::Other { value: \"x\\u{301}\" }"},
    {Entry::Other, "é", "Other { value: \"é\" }"},
    {Entry::Other, "nightly", "Other { value: \"nightly\" }"},
};
INSTANTIATE_TEST_SUITE_P(GrammarValues, GrammarAccepts, testing::ValuesIn(accepted));

// ---------------------------------------------------------------------------
// Combining issues, including the orders no grammar rule reaches today.

using grammar::Expect;
using grammar::PendingIssue;

PendingIssue expecting(std::size_t position, std::initializer_list<Expect> list) {
    PendingIssue issue = PendingIssue::expecting(position, *list.begin());
    for (const Expect e : list) issue.record(position, e);
    return issue;
}

PendingIssue too_large_at(std::size_t start, std::size_t end) {
    return PendingIssue::failing(start, end, grammar::Message::IntegerTooLarge);
}

std::vector<Expect> items_of(const PendingIssue& issue) {
    std::vector<Expect> items;
    for (std::size_t i = 0; i < issue.size(); ++i) items.push_back(issue[i]);
    return items;
}

struct MergeCase {
    std::string_view name;
    PendingIssue pending;
    PendingIssue arriving;
    PendingIssue::State state;
    std::size_t position;
    std::vector<Expect> items;  // for an expected/found result

    friend std::ostream& operator<<(std::ostream& os, const MergeCase& c) { return os << c.name; }
};

class GrammarPendingMerge : public testing::TestWithParam<MergeCase> {};

TEST_P(GrammarPendingMerge, Result) {
    const MergeCase& c = GetParam();
    PendingIssue issue = c.pending;
    issue.merge(c.arriving);
    EXPECT_EQ(issue.state(), c.state);
    EXPECT_EQ(issue.position(), c.position);
    if (c.state == PendingIssue::State::Expected) {
        EXPECT_EQ(items_of(issue), c.items);
    }
}

INSTANTIATE_TEST_SUITE_P(
    GrammarPending, GrammarPendingMerge,
    testing::Values(
        MergeCase{"into_nothing", PendingIssue{}, expecting(2, {Expect::Digit}), PendingIssue::State::Expected, 2,
                  {Expect::Digit}},
        MergeCase{"nothing_arrives", expecting(2, {Expect::Digit}), PendingIssue{}, PendingIssue::State::Expected, 2,
                  {Expect::Digit}},
        MergeCase{"further_wins", expecting(2, {Expect::Digit, Expect::TokenDot}), expecting(3, {Expect::Integer}),
                  PendingIssue::State::Expected, 3, {Expect::Integer}},
        MergeCase{"nearer_is_dropped", expecting(3, {Expect::Integer}), expecting(2, {Expect::Digit}),
                  PendingIssue::State::Expected, 3, {Expect::Integer}},
        MergeCase{"longer_arriving_list_is_the_base", expecting(4, {Expect::Digit}),
                  expecting(4, {Expect::PartCharacter, Expect::TokenDot}), PendingIssue::State::Expected, 4,
                  {Expect::PartCharacter, Expect::TokenDot, Expect::Digit}},
        MergeCase{"pending_is_the_base_on_a_tie", expecting(4, {Expect::Digit, Expect::TokenDot}),
                  expecting(4, {Expect::PartCharacter, Expect::TokenDot}), PendingIssue::State::Expected, 4,
                  {Expect::Digit, Expect::TokenDot, Expect::PartCharacter}},
        MergeCase{"no_duplicates_from_a_longer_list", expecting(4, {Expect::TokenDot}),
                  expecting(4, {Expect::PartCharacter, Expect::TokenDot, Expect::EndOfInput}),
                  PendingIssue::State::Expected, 4, {Expect::PartCharacter, Expect::TokenDot, Expect::EndOfInput}},
        MergeCase{"message_replaces_expected_at_its_position", expecting(0, {Expect::TokenV}), too_large_at(0, 10),
                  PendingIssue::State::Message, 0, {}},
        MergeCase{"expected_is_dropped_at_a_message", too_large_at(0, 10), expecting(0, {Expect::TokenV}),
                  PendingIssue::State::Message, 0, {}},
        MergeCase{"expected_further_than_a_message_wins", too_large_at(0, 10), expecting(10, {Expect::TokenDot}),
                  PendingIssue::State::Expected, 10, {Expect::TokenDot}},
        MergeCase{"message_nearer_than_expected_is_dropped", expecting(5, {Expect::Digit}), too_large_at(4, 24),
                  PendingIssue::State::Expected, 5, {Expect::Digit}}));

TEST(GrammarPendingIssue, RecordingEveryItemTwiceKeepsEachOnce) {
    PendingIssue issue;
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = grammar::expect_count; i-- > 0;) issue.record(7, static_cast<Expect>(i));
    }
    ASSERT_EQ(issue.size(), grammar::expect_count);
    for (std::size_t i = 0; i < grammar::expect_count; ++i) {
        EXPECT_EQ(issue[i], static_cast<Expect>(grammar::expect_count - 1 - i));
    }
}

TEST(GrammarPendingIssue, LabelReplacesOnlyWhatFailedAtTheRuleStart) {
    grammar::IssueTracker tracker;
    tracker.record(1, Expect::TokenV);
    // A rule starting at 1 whose first test fails: its label stands alone and
    // joins the set-aside issue at the same position.
    auto scope = tracker.open();
    tracker.record(1, Expect::PartCharacter);
    tracker.record(1, Expect::TokenDot);
    tracker.close(scope, 1, Expect::DotList);
    EXPECT_EQ(items_of(tracker.pending()), (std::vector<Expect>{Expect::TokenV, Expect::DotList}));
    // A rule starting at 1 that failed further on keeps its own list.
    scope = tracker.open();
    tracker.record(3, Expect::PartCharacter);
    tracker.close(scope, 1, Expect::DotList);
    EXPECT_EQ(tracker.pending().position(), 3u);
    EXPECT_EQ(items_of(tracker.pending()), std::vector<Expect>{Expect::PartCharacter});
    // A free message is never relabelled, and what the rule recorded before
    // failing with it is gone.
    scope = tracker.open();
    tracker.record(9, Expect::Digit);
    tracker.fail_with(3, 9, grammar::Message::IntegerTooLarge);
    tracker.close(scope, 3, Expect::Integer);
    EXPECT_EQ(tracker.pending().state(), PendingIssue::State::Message);
    EXPECT_EQ(tracker.pending().position(), 3u);
    EXPECT_EQ(tracker.pending().to_issue("1.2.999999999999").sentence(), too_large);
}

// ---------------------------------------------------------------------------
// Large inputs: linear work, bounded stack, whatever their shape.

// What a large test checks of a value: its kind, how many texts its list
// holds (parts, or pre-release identifiers) and its text form.
struct Shape {
    std::string_view kind;
    std::size_t list_size = 0;
    std::string text_form;
};

Shape shape_of(const SemVer& v) { return {"SemVer", v.rc() ? v.rc()->size() : 0, to_text(v)}; }
Shape shape_of(const DotSeparated& v) { return {"DotSeparated", v.parts().size(), to_text(v)}; }
Shape shape_of(const Other& v) { return {"Other", 1, to_text(v)}; }
Shape shape_of(const Version& v) {
    return v.visit([](const auto& inner) { return shape_of(inner); });
}

template <class T> std::variant<Shape, ParseIssue> shape_or_issue(Match<T>&& m) {
    if (const T* value = std::get_if<T>(&m)) return shape_of(*value);
    return std::get<ParseIssue>(std::move(m));
}

std::variant<Shape, ParseIssue> match_shape(Entry e, std::string_view text) {
    switch (e) {
        case Entry::SemVer: return shape_or_issue(vorna::match<SemVer>(text));
        case Entry::DotSeparated: return shape_or_issue(vorna::match<DotSeparated>(text));
        case Entry::Other: return shape_or_issue(vorna::match<Other>(text));
        case Entry::Version: return shape_or_issue(vorna::match<Version>(text));
    }
    return ParseIssue{};
}

struct LargeCase {
    std::string_view name;
    std::string_view prefix;
    std::string_view unit;
    Entry entry;
    // An accepted text: the kind of the value and the size of its list, plus
    // one entry per repeated unit when `per_unit`.
    std::string_view kind;
    std::size_t list_size = 0;
    bool per_unit = false;
    // A rejected text (empty `kind`): where the issue lies, counted back
    // from the end of the text when `from_end`, and its sentence.
    std::size_t issue_offset = 0;
    bool from_end = false;
    std::string_view sentence = {};

    friend std::ostream& operator<<(std::ostream& os, const LargeCase& c) { return os << c.name; }
};

constexpr std::size_t large_size = 10 * 1024 * 1024;

// The prefix, then as many whole units as fit in `large_size` bytes.
std::string large_text(const LargeCase& c) {
    std::string text(c.prefix);
    text.reserve(large_size);
    std::string block(c.unit);
    for (std::size_t n = (large_size - c.prefix.size()) / c.unit.size(); n > 0; n >>= 1) {
        if (n & 1) text.append(block);
        if (n > 1) block.append(block);
    }
    return text;
}

class GrammarLargeInput : public testing::TestWithParam<LargeCase> {};

TEST_P(GrammarLargeInput, ParsesOrFailsInOnePiece) {
    const LargeCase& c = GetParam();
    const std::string text = large_text(c);
    const auto out = match_shape(c.entry, text);
    if (!c.kind.empty()) {
        const Shape* shape = std::get_if<Shape>(&out);
        ASSERT_NE(shape, nullptr) << std::get<ParseIssue>(out).sentence().substr(0, 200);
        EXPECT_EQ(shape->kind, c.kind);
        const std::size_t units = (text.size() - c.prefix.size()) / c.unit.size();
        EXPECT_EQ(shape->list_size, c.list_size + (c.per_unit ? units : 0));
        EXPECT_TRUE(shape->text_form == text);
        return;
    }
    const ParseIssue* issue = std::get_if<ParseIssue>(&out);
    ASSERT_NE(issue, nullptr);
    EXPECT_EQ(issue->span_start, c.from_end ? text.size() - c.issue_offset : c.issue_offset);
    EXPECT_EQ(issue->sentence().substr(0, 200), c.sentence.substr(0, 200));
}

INSTANTIATE_TEST_SUITE_P(
    GrammarLarge, GrammarLargeInput,
    testing::Values(
        LargeCase{"one_dot_repeated", "", "1.", Entry::Version, "", 0, false, 0, true,
                  "found end of input expected alphanumeric or '-'"},
        LargeCase{"many_parts_with_a_trailing_dot", "", "1.a.", Entry::DotSeparated, "", 0, false, 0, true,
                  "found end of input expected alphanumeric or '-'"},
        LargeCase{"many_pre_release_parts_with_a_trailing_dot", "1.2.3-", "rc.", Entry::Version, "", 0, false, 0, true,
                  "found end of input expected alphanumeric or '-'"},
        LargeCase{"many_parts", "1", ".a", Entry::Version, "DotSeparated", 1, true},
        LargeCase{"many_pre_release_parts", "1.2.3-x", ".rc", Entry::Version, "SemVer", 1, true},
        LargeCase{"letters", "", "a", Entry::Version, "DotSeparated", 1},
        LargeCase{"letters_as_other", "", "a", Entry::Other, "Other", 1},
        LargeCase{"accented_letters", "", "é", Entry::Version, "Other", 1},
        LargeCase{"low_lines", "", "_", Entry::Version, "Other", 1},
        LargeCase{"combining_marks_after_a_letter", "x", "\u0301", Entry::Version, "Other", 1},
        LargeCase{"nines", "", "9", Entry::Version, "DotSeparated", 1},
        LargeCase{"nines_as_semver", "", "9", Entry::SemVer, "", 0, false, 0, false, too_large},
        LargeCase{"zeros_as_major", "", "0", Entry::SemVer, "", 0, false, 0, true,
                  "found end of input expected digit, or '.'"},
        LargeCase{"long_pre_release", "1.2.3-", "x", Entry::SemVer, "SemVer", 1},
        LargeCase{"dots", "", ".", Entry::Version, "", 0, false, 0, false,
                  "found '.' expected 'v', integer, dot-separated list, end of input, or identifier"},
        LargeCase{"spaces", "", " ", Entry::Other, "", 0, false, 0, false, "found ' ' expected identifier"}));

// The whole entry point, report included, copes with a large rejected text.
TEST(GrammarLargeReport, RejectedTextIsReported) {
    const std::string text = large_text(LargeCase{"", "", "1.", Entry::Version, ""});
    const auto result = parse_version(text);
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().message().find("found end of input expected alphanumeric or '-'"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Generated texts: the entry points agree with each other, the text form of
// every accepted value parses back to the same value, and every issue lies
// inside the text.

// Texts made of pieces, weighted towards what version strings are made of;
// half of them start out shaped like a semantic version.
std::string generate(std::mt19937_64& rng) {
    static constexpr std::array<std::string_view, 32> pieces = {
        "0", "1", "2", "9", "07", "4294967295", "4294967296", ".", ".", ".", "-", "-", "+", "+", "a", "b",
        "x", "rc", "v", "V", "_", " ", "é", "\u0301", "\u00A0", "\xE2\x80\xA8", "Z", "\t", "alpha", "3", "1", "."};
    static constexpr std::array<std::string_view, 6> numbers = {"0", "1", "12", "007", "4294967295", "4294967296"};
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const auto piece = [&] { return pieces[below(pieces.size())]; };

    std::vector<std::string_view> parts;
    if (below(2) == 0) {
        if (below(4) == 0) parts.push_back("v");
        for (int i = 0; i < 3; ++i) {
            if (i > 0) parts.push_back(".");
            parts.push_back(numbers[below(numbers.size())]);
        }
        for (const std::string_view sign : {"-", "+"}) {
            if (below(2) == 0) continue;
            parts.push_back(sign);
            for (std::size_t n = below(5); n > 0; --n) parts.push_back(piece());
        }
        // Now and then one piece is swapped for another.
        if (below(3) == 0) parts[below(parts.size())] = piece();
    } else {
        for (std::size_t n = below(13); n > 0; --n) parts.push_back(piece());
    }
    std::string text;
    for (const std::string_view p : parts) text.append(p);
    return text;
}

void check_issue_within(const ParseIssue& issue, std::string_view text) {
    ASSERT_LE(issue.span_start, issue.span_end);
    ASSERT_LE(issue.span_end, text.size());
    if (const auto* ef = std::get_if<ExpectedFound>(&issue.reason)) {
        EXPECT_FALSE(ef->expected.empty());
        if (issue.span_start == text.size()) {
            EXPECT_FALSE(ef->found.has_value());
        } else {
            const utf8::Decoded d = utf8::decode(text, issue.span_start);
            EXPECT_EQ(ef->found, std::optional<char32_t>(d.scalar));
            EXPECT_EQ(issue.span_end, issue.span_start + d.length);
        }
    } else {
        EXPECT_EQ(std::get<std::string>(issue.reason), too_large);
    }
}

class GrammarGenerated : public testing::TestWithParam<std::uint64_t> {};

TEST_P(GrammarGenerated, EntryPointsAgreeAndTextFormsRoundTrip) {
    std::mt19937_64 rng(GetParam());
    std::size_t kinds[4] = {0, 0, 0, 0};
    for (int i = 0; i < 20000; ++i) {
        const std::string text = generate(rng);
        SCOPED_TRACE(text);
        const Outcome semver = match(Entry::SemVer, text);
        const Outcome dotted = match(Entry::DotSeparated, text);
        const Outcome other = match(Entry::Other, text);
        const Match<Version> version = vorna::match<Version>(text);

        // parse_version is the first of the three that accepts.
        const std::string_view prefix = "Version::";
        if (const Version* v = std::get_if<Version>(&version)) {
            const std::string debug = to_debug(*v).substr(prefix.size());
            switch (v->kind()) {
                case VersionKind::SemVer: EXPECT_EQ(debug, semver.debug); break;
                case VersionKind::DotSeparated:
                    EXPECT_TRUE(semver.issue.has_value());
                    EXPECT_EQ(debug, dotted.debug);
                    break;
                case VersionKind::Other:
                    EXPECT_TRUE(semver.issue.has_value());
                    EXPECT_TRUE(dotted.issue.has_value());
                    EXPECT_EQ(debug, other.debug);
                    break;
            }
            ++kinds[static_cast<int>(v->kind())];

            // The text form parses back to an equal value of the same kind.
            const std::string form = to_text(*v);
            const Match<Version> again = vorna::match<Version>(form);
            ASSERT_TRUE(std::holds_alternative<Version>(again)) << form;
            const Version& w = std::get<Version>(again);
            EXPECT_EQ(w.kind(), v->kind());
            EXPECT_EQ(w, *v);
            EXPECT_EQ(to_debug(w), to_debug(*v));
            // Only a semantic version loses its "v" and leading zeros.
            if (v->kind() != VersionKind::SemVer) {
                EXPECT_EQ(form, text);
            }
        } else {
            ASSERT_TRUE(semver.issue && dotted.issue && other.issue);
            ++kinds[3];
            const ParseIssue& issue = std::get<ParseIssue>(version);
            check_issue_within(issue, text);
            // The alternatives' issues compete: the furthest one is reported.
            EXPECT_EQ(issue.span_start, std::max({semver.issue->span_start, dotted.issue->span_start,
                                                  other.issue->span_start}));
        }
        for (const Outcome* o : {&semver, &dotted, &other}) {
            if (o->issue) check_issue_within(*o->issue, text);
        }
    }
    // The generator reaches every outcome.
    for (const std::size_t n : kinds) EXPECT_GT(n, 100u);
}

INSTANTIATE_TEST_SUITE_P(GrammarProperty, GrammarGenerated, testing::Values(1u, 2u, 3u, 0x5eedu));

}  // namespace
}  // namespace vorna
