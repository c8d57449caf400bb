#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/report/colour.hpp"
#include "core/report/report.hpp"
#include "core/report/source.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {
namespace {

constexpr std::string_view semver_id = "vorna::package::version::semver::SemVer";
constexpr std::string_view version_id = "vorna::package::version::Version";

Expectation tok(char32_t c) { return Expectation::token_of(c); }
Expectation lab(std::string_view t) { return Expectation::label(t); }

ParseIssue expected_found(std::size_t start, std::size_t end, std::optional<char32_t> found,
                          std::vector<Expectation> expected) {
    return ParseIssue{start, end, ExpectedFound{found, std::move(expected)}};
}

ParseIssue message(std::size_t start, std::size_t end, std::string text) {
    return ParseIssue{start, end, std::move(text)};
}

std::string render(std::string_view text, std::string_view id, const std::vector<ParseIssue>& issues,
                   bool colour = false) {
    return render_parse_failure(text, id, issues, colour).message();
}

// The report split into its lines; every line, the last included, ends in
// exactly one line feed.
std::vector<std::string> lines_of(const std::string& report) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t nl; (nl = report.find('\n', begin)) != std::string::npos; begin = nl + 1) {
        lines.push_back(report.substr(begin, nl - begin));
    }
    EXPECT_EQ(begin, report.size()) << "report does not end in a line feed";
    return lines;
}

// Test cases print as their names in failure messages.
template <class Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::string strip_escapes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\x1b') {
            out.push_back(text[i]);
            continue;
        }
        while (i < text.size() && text[i] != 'm') ++i;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Whole reports, as the parsers produce them.

struct WholeReportCase {
    const char* name;
    std::string text;
    std::string_view id;
    ParseIssue issue;
    std::vector<std::string> lines;
};

class ReportLayout : public testing::TestWithParam<WholeReportCase> {};

TEST_P(ReportLayout, RendersExactLines) {
    const auto& c = GetParam();
    EXPECT_EQ(lines_of(render(c.text, c.id, {c.issue})), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    ReportWorkedTraces, ReportLayout,
    testing::Values(
        WholeReportCase{"SemverFoundLetter", "1.2.x", semver_id, expected_found(4, 5, U'x', {lab("integer")}),
                        {"Error: ",
                         "   ╭─[ vorna::package::version::semver::SemVer:1:5 ]",
                         "   │",
                         " 1 │ 1.2.x",
                         "   │     ┬",
                         "   │     ╰── found 'x' expected integer",
                         "───╯"}},
        WholeReportCase{"SemverEndOfInput", "1.2", semver_id,
                        expected_found(3, 3, std::nullopt, {lab("digit"), tok(U'.')}),
                        {"Error: ",
                         "   ╭─[ vorna::package::version::semver::SemVer:1:4 ]",
                         "   │",
                         " 1 │ 1.2",
                         "   │    ┬",
                         "   │    ╰── found end of input expected digit, or '.'",
                         "───╯"}},
        WholeReportCase{"VersionLoneDot", ".", version_id,
                        expected_found(0, 1, U'.',
                                       {tok(U'v'), lab("integer"), lab("dot-separated list"),
                                        Expectation::end_of_input(), lab("identifier")}),
                        {"Error: ",
                         "   ╭─[ vorna::package::version::Version:1:1 ]",
                         "   │",
                         " 1 │ .",
                         "   │ ┬",
                         "   │ ╰── found '.' expected 'v', integer, dot-separated list, end of input, or identifier",
                         "───╯"}},
        WholeReportCase{"SemverEmptyText", "", semver_id,
                        expected_found(0, 0, std::nullopt, {tok(U'v'), lab("integer")}),
                        {"Error: ",
                         "   ╭─[ vorna::package::version::semver::SemVer:1:1 ]",
                         "   │",
                         " 1 │",
                         "   │ ┬",
                         "   │ ╰── found end of input expected 'v', or integer",
                         "───╯"}},
        WholeReportCase{"InvisibleCharacterNamedInTheLabel", "1.2.3\u200B", semver_id,
                        expected_found(5, 8, 0x200B, {lab("digit"), tok(U'-'), tok(U'+'), Expectation::end_of_input()}),
                        {"Error: ",
                         "   ╭─[ vorna::package::version::semver::SemVer:1:6 ]",
                         "   │",
                         " 1 │ 1.2.3\uFFFD",
                         "   │      ┬",
                         "   │      ╰── found '\\u{200b}' expected digit, '-', '+', or end of input",
                         "───╯"}},
        WholeReportCase{"LineTenWidensTheMargin", "a\nb\nc\nd\ne\nf\ng\nh\ni\n1.2.x", semver_id,
                        expected_found(22, 23, U'x', {lab("integer")}),
                        {"Error: ",
                         "    ╭─[ vorna::package::version::semver::SemVer:10:5 ]",
                         "    │",
                         " 10 │ 1.2.x",
                         "    │     ┬",
                         "    │     ╰── found 'x' expected integer",
                         "────╯"}},
        WholeReportCase{"FreeMessageAsGiven", "abcde", semver_id, message(0, 5, "not a version, sorry"),
                        {"Error: ",
                         "   ╭─[ vorna::package::version::semver::SemVer:1:1 ]",
                         "   │",
                         " 1 │ abcde",
                         "   │ ──┬──",
                         "   │   ╰── not a version, sorry",
                         "───╯"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReportLayout, TwoIssuesOnLinesApartAreDrawnInLineOrderWithAGap) {
    const std::vector<ParseIssue> issues = {message(8, 9, "second"), message(1, 3, "first")};
    EXPECT_EQ(lines_of(render("abc\nd\nefg", semver_id, issues)),
              (std::vector<std::string>{"Error: ",
                                        "   ╭─[ vorna::package::version::semver::SemVer:3:3 ]",
                                        "   │",
                                        " 1 │ abc",
                                        "   │  ┬─",
                                        "   │  ╰── first",
                                        "   ┆",
                                        " 3 │ efg",
                                        "   │   ┬",
                                        "   │   ╰── second",
                                        "───╯"}));
}

TEST(ReportLayout, TwoIssuesOnOneLineShareTheQuotedLine) {
    const std::vector<ParseIssue> issues = {message(0, 1, "one"), message(2, 3, "two")};
    EXPECT_EQ(lines_of(render("abc", semver_id, issues)),
              (std::vector<std::string>{"Error: ",
                                        "   ╭─[ vorna::package::version::semver::SemVer:1:1 ]",
                                        "   │",
                                        " 1 │ abc",
                                        "   │ ┬",
                                        "   │ ╰── one",
                                        "   │   ┬",
                                        "   │   ╰── two",
                                        "───╯"}));
}

// ---------------------------------------------------------------------------
// Where the location, the quoted line and the marker land.

struct PlacementCase {
    const char* name;
    std::string text;
    std::size_t start;
    std::size_t end;
    std::string reference;  // line:column of the location line
    std::string source_row;
    std::string underline_row;
};

class ReportPlacement : public testing::TestWithParam<PlacementCase> {};

TEST_P(ReportPlacement, LocatesQuotesAndMarks) {
    const auto& c = GetParam();
    const auto lines = lines_of(render(c.text, semver_id, {message(c.start, c.end, "here")}));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1].substr(lines[1].find(semver_id) + semver_id.size()), ":" + c.reference + " ]");
    EXPECT_EQ(lines[3], c.source_row);
    EXPECT_EQ(lines[4], c.underline_row);
    // The connector starts under the marker.
    EXPECT_EQ(lines[5].find("╰"), lines[4].find("┬"));
}

INSTANTIATE_TEST_SUITE_P(
    ReportLines, ReportPlacement,
    testing::Values(PlacementCase{"SecondLine", "1.2.3\nabc", 7, 8, "2:2", " 2 │ abc", "   │  ┬"},
                    PlacementCase{"AfterCrLf", "a\r\nb", 3, 4, "2:1", " 2 │ b", "   │ ┬"},
                    PlacementCase{"AfterCr", "a\rb", 2, 3, "2:1", " 2 │ b", "   │ ┬"},
                    PlacementCase{"AfterLineSeparator", "x\u2028yz", 5, 6, "2:2", " 2 │ yz", "   │  ┬"},
                    PlacementCase{"AfterNextLine", "x\u0085y", 3, 4, "2:1", " 2 │ y", "   │ ┬"},
                    PlacementCase{"EndAfterTrailingBreak", "1.2\n", 4, 4, "2:1", " 2 │", "   │ ┬"},
                    PlacementCase{"OnTheLineBreak", "1.2\n", 3, 4, "1:4", " 1 │ 1.2", "   │    ┬"},
                    PlacementCase{"SpanRunsIntoNextLine", "ab\ncd", 1, 5, "1:2", " 1 │ ab", "   │  ┬"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ReportColumns, ReportPlacement,
    testing::Values(
        PlacementCase{"LeadingTab", "\tx", 1, 2, "1:2", " 1 │     x", "   │     ┬"},
        PlacementCase{"TabToNextStop", "ab\tx", 3, 4, "1:4", " 1 │ ab  x", "   │     ┬"},
        PlacementCase{"TabAtAStop", "abcd\tx", 5, 6, "1:6", " 1 │ abcd    x", "   │         ┬"},
        PlacementCase{"AfterWideCharacter", "中x", 3, 4, "1:2", " 1 │ 中x", "   │   ┬"},
        PlacementCase{"OnWideCharacter", "a中", 1, 4, "1:2", " 1 │ a中", "   │  ┬─"},
        PlacementCase{"AfterCombiningMark", "e\u0301x", 3, 4, "1:3", " 1 │ e\u0301x", "   │  ┬"},
        PlacementCase{"ColumnCountsCharactersNotBytes", "é.x", 3, 4, "1:3", " 1 │ é.x", "   │   ┬"},
        PlacementCase{"OtherWhiteSpaceIsOneBlank", "a\u3000b", 4, 5, "1:3", " 1 │ a b", "   │   ┬"},
        PlacementCase{"EnQuadIsOneBlank", "a\u2000b", 4, 5, "1:3", " 1 │ a b", "   │   ┬"},
        PlacementCase{"HairSpaceIsOneBlank", "a\u200Ab", 4, 5, "1:3", " 1 │ a b", "   │   ┬"},
        PlacementCase{"TrailingBlanksAreNotQuoted", "1.2.3 ", 5, 6, "1:6", " 1 │ 1.2.3", "   │      ┬"},
        PlacementCase{"MidCharacterOffsetPointsAtIt", "aé", 2, 3, "1:2", " 1 │ aé", "   │  ┬"}),
    [](const auto& info) { return std::string(info.param.name); });

// Spans a parser never produces, from direct callers: drawn soundly.
INSTANTIATE_TEST_SUITE_P(
    ReportFaultySpans, ReportPlacement,
    testing::Values(PlacementCase{"EndBeforeStartIsDrawnEmpty", "1.2.x", 4, 2, "1:5", " 1 │ 1.2.x", "   │     ┬"},
                    PlacementCase{"StartPastTheText", "abc", 10, 12, "?:?", " 1 │ abc", "   │    ┬"},
                    PlacementCase{"EndPastTheText", "abc", 1, 9, "1:2", " 1 │ abc", "   │  ┬─"}),
    [](const auto& info) { return std::string(info.param.name); });

// Bytes of the text never reach the terminal raw: controls show as their
// pictures, malformed UTF-8 as U+FFFD, and the report stays valid UTF-8.
INSTANTIATE_TEST_SUITE_P(
    ReportUnsafeText, ReportPlacement,
    testing::Values(PlacementCase{"Escape", "a\x1b[31mb", 6, 7, "1:7", " 1 │ a␛[31mb", "   │       ┬"},
                    PlacementCase{"Delete", "a\x7f" "b", 2, 3, "1:3", " 1 │ a␡b", "   │   ┬"},
                    PlacementCase{"Nul", std::string("a\0b", 3), 2, 3, "1:3", " 1 │ a␀b", "   │   ┬"},
                    PlacementCase{"MalformedByte", "a\xff" "b", 2, 3, "1:3", " 1 │ a\uFFFDb", "   │   ┬"},
                    PlacementCase{"RightToLeftOverride", "a\u202Eb", 4, 5, "1:3", " 1 │ a\uFFFDb", "   │   ┬"}),
    [](const auto& info) { return std::string(info.param.name); });

// The sentence names the character it found: a control character by its
// picture, as the quoted line shows it, anything else the debug form escapes
// by that escape, and a printable character as itself.
struct FoundCase {
    const char* name;
    char32_t found;
    std::string shown;
};

class SentenceFound : public testing::TestWithParam<FoundCase> {};

TEST_P(SentenceFound, NamesTheCharacterItFound) {
    const FoundCase& c = GetParam();
    EXPECT_EQ(expected_found(0, 1, c.found, {lab("digit")}).sentence(), "found '" + c.shown + "' expected digit");
}

INSTANTIATE_TEST_SUITE_P(
    ReportUnsafeText, SentenceFound,
    testing::Values(FoundCase{"LineFeed", U'\n', "␊"}, FoundCase{"CarriageReturn", U'\r', "␍"},
                    FoundCase{"Escape", 0x1B, "␛"}, FoundCase{"Nul", 0, "␀"}, FoundCase{"Delete", 0x7F, "␡"},
                    FoundCase{"Tab", U'\t', R"(\t)"}, FoundCase{"NextLine", 0x85, R"(\u{85})"},
                    FoundCase{"ControlSequenceIntroducer", 0x9B, R"(\u{9b})"},
                    FoundCase{"LineSeparator", 0x2028, R"(\u{2028})"},
                    FoundCase{"ParagraphSeparator", 0x2029, R"(\u{2029})"},
                    FoundCase{"RightToLeftOverride", 0x202E, R"(\u{202e})"},
                    FoundCase{"ZeroWidthSpace", 0x200B, R"(\u{200b})"},
                    FoundCase{"ByteOrderMark", 0xFEFF, R"(\u{feff})"}, FoundCase{"SoftHyphen", 0xAD, R"(\u{ad})"},
                    FoundCase{"NoBreakSpace", 0xA0, R"(\u{a0})"}, FoundCase{"EmSpace", 0x2003, R"(\u{2003})"},
                    FoundCase{"CombiningAcute", 0x301, R"(\u{301})"},
                    FoundCase{"Unassigned", 0x378, R"(\u{378})"}, FoundCase{"PrivateUse", 0xE000, R"(\u{e000})"},
                    FoundCase{"Surrogate", 0xD800, R"(\u{d800})"},
                    FoundCase{"PastUnicode", 0x110000, R"(\u{110000})"},
                    FoundCase{"Largest", 0xFFFFFFFF, R"(\u{ffffffff})"}, FoundCase{"Space", U' ', " "},
                    FoundCase{"Tilde", U'~', "~"}, FoundCase{"Backslash", U'\\', "\\"},
                    FoundCase{"Accented", 0xE9, "é"}, FoundCase{"Wide", 0x65E5, "日"},
                    FoundCase{"Emoji", 0x1F600, "\U0001F600"},
                    FoundCase{"MalformedByteStandIn", 0xFFFD, "\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReportPlacement, EveryByteValueGivesValidUtf8WithoutEscapes) {
    for (int b = 0; b < 256; ++b) {
        for (const std::string& text : {std::string(1, char(b)), "1." + std::string(1, char(b)) + "x"}) {
            const std::string report = render(text, semver_id, {message(0, 1, "here")});
            EXPECT_TRUE(utf8::is_valid(report)) << "byte " << b;
            EXPECT_EQ(report.find('\x1b'), std::string::npos) << "byte " << b;
            EXPECT_TRUE(report.starts_with("Error: \n")) << "byte " << b;
        }
    }
}

// ---------------------------------------------------------------------------
// Colour.

TEST(ReportColour, ColouredReportPaintsTheStatedPieces) {
    const std::vector<ParseIssue> issues = {expected_found(4, 5, U'x', {lab("integer")})};
    const std::string coloured = render("1.2.x", semver_id, issues, true);
    const std::string plain = render("1.2.x", semver_id, issues, false);

    EXPECT_EQ(plain.find('\x1b'), std::string::npos);
    EXPECT_TRUE(coloured.starts_with("\x1b[31mError:\x1b[0m \n"));
    EXPECT_NE(coloured.find("\x1b[38;5;246m╭─[\x1b[0m vorna::"), std::string::npos);
    EXPECT_NE(coloured.find(":1:5 \x1b[38;5;246m]\x1b[0m\n"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[38;5;201m┬\x1b[0m\n"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[38;5;201m╰──\x1b[0m found 'x'"), std::string::npos);
    EXPECT_TRUE(coloured.ends_with("\x1b[38;5;246m───╯\x1b[0m\n"));
    // Colour only adds escape sequences; the text is the same.
    EXPECT_EQ(strip_escapes(coloured), plain);
}

TEST(ReportColour, LabelsTakeSuccessiveColours) {
    const std::vector<ParseIssue> issues = {message(0, 1, "one"), message(2, 3, "two")};
    const std::string coloured = render("abc", semver_id, issues, true);
    EXPECT_NE(coloured.find("\x1b[38;5;201m╰──\x1b[0m one"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[38;5;155m╰──\x1b[0m two"), std::string::npos);
}

TEST(ColourGenerator, FirstColoursOfAFreshGenerator) {
    ColourGenerator colours;
    EXPECT_EQ(colours.next(), 201);
    EXPECT_EQ(colours.next(), 155);
    EXPECT_EQ(colours.next(), 187);
}

struct DecisionCase {
    const char* name;
    ColourEnvironment env;
    bool colour;
};

class ColourDecision : public testing::TestWithParam<DecisionCase> {};

TEST_P(ColourDecision, FollowsTheEnvironment) { EXPECT_EQ(decide_colour(GetParam().env), GetParam().colour); }

constexpr std::nullopt_t unset = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    ColourEnvironments, ColourDecision,
    testing::Values(DecisionCase{"Terminal", {unset, unset, unset, unset, true}, true},
                    DecisionCase{"NotATerminal", {unset, unset, unset, unset, false}, false},
                    DecisionCase{"ForcedIntoAFile", {"1", unset, unset, unset, false}, true},
                    DecisionCase{"ForcedWithEmptyValue", {"", unset, unset, unset, false}, true},
                    DecisionCase{"ForceOverridesNoColor", {"1", "0", "1", "dumb", false}, true},
                    DecisionCase{"ForceZeroIntoAFile", {"0", unset, unset, unset, false}, false},
                    DecisionCase{"ForceZeroOnATerminal", {"0", unset, unset, unset, true}, true},
                    DecisionCase{"CliColorZero", {unset, "0", unset, unset, true}, false},
                    DecisionCase{"CliColorOne", {unset, "1", unset, unset, true}, true},
                    DecisionCase{"NoColorSet", {unset, unset, "1", unset, true}, false},
                    DecisionCase{"NoColorEmpty", {unset, unset, "", unset, true}, true},
                    DecisionCase{"DumbTerminal", {unset, unset, unset, "dumb", true}, false},
                    DecisionCase{"RealTerminal", {unset, unset, unset, "xterm-256color", true}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The sentence.

struct SentenceCase {
    const char* name;
    ParseIssue issue;
    std::string sentence;
};

class ReportSentence : public testing::TestWithParam<SentenceCase> {};

TEST_P(ReportSentence, Composes) { EXPECT_EQ(GetParam().issue.sentence(), GetParam().sentence); }

INSTANTIATE_TEST_SUITE_P(
    ReportLists, ReportSentence,
    testing::Values(
        SentenceCase{"NothingExpected", expected_found(0, 1, U'x', {}), "found 'x' expected something else"},
        SentenceCase{"OneExpected", expected_found(0, 1, U'x', {lab("integer")}), "found 'x' expected integer"},
        SentenceCase{"TwoExpectedKeepTheComma", expected_found(0, 0, std::nullopt, {lab("digit"), tok(U'.')}),
                     "found end of input expected digit, or '.'"},
        SentenceCase{"ThreeExpected",
                     expected_found(0, 1, U'_', {lab("dot-separated list"), tok(U'+'), Expectation::end_of_input()}),
                     "found '_' expected dot-separated list, '+', or end of input"},
        SentenceCase{"FoundAbsentNothingExpected", expected_found(0, 0, std::nullopt, {}),
                     "found end of input expected something else"},
        SentenceCase{"FoundSpaceIsNotEscaped", expected_found(0, 1, U' ', {lab("digit")}),
                     "found ' ' expected digit"},
        SentenceCase{"FoundMultiByte", expected_found(0, 2, U'é', {lab("identifier")}),
                     "found 'é' expected identifier"},
        SentenceCase{"FreeMessage", message(0, 1, "anything at all, 'as is'"), "anything at all, 'as is'"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExpectationCase {
    const char* name;
    Expectation expectation;
    std::string rendered;
};

class ReportExpectation : public testing::TestWithParam<ExpectationCase> {};

TEST_P(ReportExpectation, Renders) {
    std::string out = "<";
    GetParam().expectation.render(out);
    EXPECT_EQ(out, "<" + GetParam().rendered);
}

INSTANTIATE_TEST_SUITE_P(ReportKinds, ReportExpectation,
                         testing::Values(ExpectationCase{"Token", tok(U'.'), "'.'"},
                                         ExpectationCase{"WideToken", tok(U'中'), "'中'"},
                                         ExpectationCase{"Label", lab("alphanumeric or '-'"), "alphanumeric or '-'"},
                                         ExpectationCase{"EndOfInput", Expectation::end_of_input(), "end of input"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Fallback texts and faults.

TEST(ReportFallback, MalformedSentenceGivesTheInvalidUtf8Message) {
    const ParseError error = render_parse_failure("abc", semver_id, std::vector{message(0, 1, "bad \xff byte")}, false);
    EXPECT_TRUE(error.message().starts_with("Invalid UTF-8 string: ")) << error.message();
    EXPECT_TRUE(utf8::is_valid(error.message()));
}

// Every piece of a sentence that can be malformed names the byte where the
// drawn sentence goes wrong; well-formed wider characters draw the report.
struct SentencePieceCase {
    std::string_view name;
    ParseIssue issue;
    std::string_view message_start;
};

class ReportSentencePiece : public testing::TestWithParam<SentencePieceCase> {};

TEST_P(ReportSentencePiece, IsCheckedWhereItLies) {
    const std::string report = render("abc", semver_id, {GetParam().issue}, false);
    EXPECT_TRUE(report.starts_with(GetParam().message_start)) << report;
}

INSTANTIATE_TEST_SUITE_P(
    ReportFallback, ReportSentencePiece,
    testing::Values(
        // A character that is no Unicode scalar is named by its escape.
        SentencePieceCase{"SurrogateFound", expected_found(0, 1, 0xD800, {Expectation::label("digit")}), "Error:"},
        SentencePieceCase{"TokenPastTheLastCodePoint", expected_found(0, 1, 'x', {Expectation::token_of(0x110000)}),
                          "Error:"},
        SentencePieceCase{"Label", expected_found(0, 1, 'x', {Expectation::label("a\xff")}),
                          "Invalid UTF-8 string: malformed UTF-8 at byte 20 of the label of issue 1"},
        SentencePieceCase{"WellFormedWideCharacters",
                          expected_found(0, 1, 0x1F600, {Expectation::label("\xc3\xbc"), Expectation::token_of(0x10FFFF)}),
                          "Error:"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReportFallback, MalformedSourceIdGivesTheInvalidUtf8Message) {
    const ParseError error = render_parse_failure("abc", "id\xc3", std::vector{message(0, 1, "here")}, false);
    EXPECT_TRUE(error.message().starts_with("Invalid UTF-8 string: ")) << error.message();
}

TEST(ReportFallback, NoIssuesStillGivesAnError) {
    const ParseError error = render_parse_failure("abc", semver_id, std::span<const ParseIssue>{}, false);
    EXPECT_TRUE(error.message().starts_with("Error: ")) << error.message();
}

}  // namespace
}  // namespace vorna
