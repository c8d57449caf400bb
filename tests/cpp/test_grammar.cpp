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

#include "core/parse/parse.hpp"
#include "core/grammar/pending_issue.hpp"
#include "core/unicode/utf8.hpp"
#include "grammar_cases.hpp"

namespace vorna {
namespace {

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
    {Entry::Other, "\u0301x", 0, 2, R"(found '\u{301}' expected identifier)"},
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
