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

}  // namespace
}  // namespace vorna
