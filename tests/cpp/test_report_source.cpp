#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/report/source.hpp"

namespace vorna {
namespace {
// ---------------------------------------------------------------------------
// Lines of the source.

struct SourceCase {
    const char* name;
    std::string text;
    std::vector<SourceLine> lines;
    std::vector<std::string> contents;
};

class ReportSourceLines : public testing::TestWithParam<SourceCase> {};

TEST_P(ReportSourceLines, Splits) {
    const auto& c = GetParam();
    const ReportSource source(c.text);
    EXPECT_EQ(std::vector<SourceLine>(source.lines().begin(), source.lines().end()), c.lines);
    std::vector<std::string> contents;
    for (std::size_t i = 0; i < source.lines().size(); ++i) contents.emplace_back(source.content(i));
    EXPECT_EQ(contents, c.contents);
}

// SourceLine: byte offset, byte length, char offset, char length, break bytes.
INSTANTIATE_TEST_SUITE_P(
    ReportBreaks, ReportSourceLines,
    testing::Values(
        SourceCase{"Empty", "", {{0, 0, 0, 0, 0}}, {""}},
        SourceCase{"NoBreak", "abc", {{0, 3, 0, 3, 0}}, {"abc"}},
        SourceCase{"LineFeed", "a\nb", {{0, 2, 0, 2, 1}, {2, 1, 2, 1, 0}}, {"a", "b"}},
        SourceCase{"VerticalTab", "a\vb", {{0, 2, 0, 2, 1}, {2, 1, 2, 1, 0}}, {"a", "b"}},
        SourceCase{"FormFeed", "a\fb", {{0, 2, 0, 2, 1}, {2, 1, 2, 1, 0}}, {"a", "b"}},
        SourceCase{"CarriageReturn", "a\rb", {{0, 2, 0, 2, 1}, {2, 1, 2, 1, 0}}, {"a", "b"}},
        SourceCase{"CrLfIsOneBreak", "a\r\nb", {{0, 3, 0, 3, 2}, {3, 1, 3, 1, 0}}, {"a", "b"}},
        SourceCase{"LfCrIsTwoBreaks", "a\n\rb", {{0, 2, 0, 2, 1}, {2, 1, 2, 1, 1}, {3, 1, 3, 1, 0}}, {"a", "", "b"}},
        SourceCase{"CrCrLf", "a\r\r\nb", {{0, 2, 0, 2, 1}, {2, 2, 2, 2, 2}, {4, 1, 4, 1, 0}}, {"a", "", "b"}},
        SourceCase{"NextLine", "é\u0085b", {{0, 4, 0, 2, 2}, {4, 1, 2, 1, 0}}, {"é", "b"}},
        SourceCase{"LineSeparator", "a\u2028b", {{0, 4, 0, 2, 3}, {4, 1, 2, 1, 0}}, {"a", "b"}},
        SourceCase{"ParagraphSeparator", "a\u2029b", {{0, 4, 0, 2, 3}, {4, 1, 2, 1, 0}}, {"a", "b"}},
        SourceCase{"TrailingBreakEndsInAnEmptyLine", "a\n", {{0, 2, 0, 2, 1}, {2, 0, 2, 0, 0}}, {"a", ""}},
        SourceCase{"OnlyBreaks", "\n\n", {{0, 1, 0, 1, 1}, {1, 1, 1, 1, 1}, {2, 0, 2, 0, 0}}, {"", "", ""}},
        SourceCase{"RawNelByteIsNoBreak", "a\x85" "b", {{0, 3, 0, 3, 0}}, {"a\x85" "b"}},
        SourceCase{"TruncatedSeparatorIsNoBreak", "a\xe2\x80", {{0, 3, 0, 3, 0}}, {"a\xe2\x80"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LocateCase {
    const char* name;
    std::string text;
    std::size_t offset;
    std::optional<SourcePosition> position;
};

class ReportSourceLocate : public testing::TestWithParam<LocateCase> {};

TEST_P(ReportSourceLocate, FindsLineAndColumn) {
    const auto& c = GetParam();
    EXPECT_EQ(ReportSource(c.text).locate(c.offset), c.position);
}

INSTANTIATE_TEST_SUITE_P(ReportOffsets, ReportSourceLocate,
                         testing::Values(LocateCase{"Start", "abc", 0, SourcePosition{0, 0}},
                                         LocateCase{"EndOfText", "abc", 3, SourcePosition{0, 3}},
                                         LocateCase{"PastTheEnd", "abc", 4, std::nullopt},
                                         LocateCase{"EmptyText", "", 0, SourcePosition{0, 0}},
                                         LocateCase{"OnTheBreak", "ab\ncd", 2, SourcePosition{0, 2}},
                                         LocateCase{"StartOfSecondLine", "ab\ncd", 3, SourcePosition{1, 0}},
                                         LocateCase{"EndOfSecondLine", "ab\ncd", 5, SourcePosition{1, 2}},
                                         LocateCase{"InsideCrLf", "a\r\nb", 2, SourcePosition{0, 2}},
                                         LocateCase{"AfterCrLf", "a\r\nb", 3, SourcePosition{1, 0}},
                                         LocateCase{"AfterTrailingBreak", "a\n", 2, SourcePosition{1, 0}},
                                         LocateCase{"InsideMultiByte", "xé", 2, SourcePosition{0, 1}},
                                         LocateCase{"AfterMultiByte", "xéy", 3, SourcePosition{0, 2}}),
                         [](const auto& info) { return std::string(info.param.name); });

// A source divided only as far as a given byte: the lines before and the one
// that holds it are as in the whole division; nothing after is located.
TEST(ReportSourceUntil, StopsAtTheLineThatHoldsTheOffset) {
    const std::string text = "ab\ncd\r\nef\ngh";
    const ReportSource whole(text);
    for (std::size_t until = 0; until <= text.size(); ++until) {
        const ReportSource part(text, until);
        ASSERT_LE(part.lines().size(), whole.lines().size());
        const std::size_t last = part.lines().size() - 1;
        EXPECT_EQ(whole.locate(until)->line, last) << "until " << until;
        for (std::size_t i = 0; i <= last; ++i) EXPECT_EQ(part.lines()[i], whole.lines()[i]);
        for (std::size_t offset = 0; offset <= text.size(); ++offset) {
            const auto located = part.locate(offset);
            if (offset <= until) {
                EXPECT_EQ(located, whole.locate(offset)) << "until " << until << ", offset " << offset;
            } else if (whole.locate(offset)->line > last) {
                EXPECT_EQ(located, std::nullopt) << "until " << until << ", offset " << offset;
            }
        }
    }
}

}  // namespace
}  // namespace vorna
