// The report written at a fixed width (what a host string is made of) and
// under memory exhaustion.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/parse/parse.hpp"
#include "core/report/report.hpp"
#include "core/report/unit_sink.hpp"
#include "core/unicode/utf8.hpp"

namespace {

// A one-shot allocation failure: when `fail_in` reaches zero on this thread,
// that one allocation throws and the next ones succeed again.
thread_local long fail_in = -1;

}  // namespace

// The replacements pair malloc with free, which the compiler cannot see
// through the replaced operators.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    if (fail_in >= 0 && fail_in-- == 0) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace vorna {
namespace {

std::u32string decoded(std::string_view text) {
    std::u32string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const utf8::Decoded d = utf8::decode(text, pos);
        out.push_back(d.scalar);
        pos += d.length;
    }
    return out;
}

template <class Unit> std::u32string written(const ReportLayout& layout, const TextMeasure& m) {
    std::vector<Unit> units(m.length + 1, Unit(0x5A));  // one guard unit past the end
    layout.write(std::span(units).first(m.length), m.widest);
    EXPECT_EQ(units.back(), Unit(0x5A)) << "wrote past the measured length";
    return std::u32string(units.begin(), units.end() - 1);
}

struct WidthCase {
    const char* name;
    std::string text;
    std::vector<ParseIssue> issues;
    bool colour;
};

class ReportWidths : public testing::TestWithParam<WidthCase> {};

// Every width that can hold the widest character gives the UTF-8 report's
// characters exactly, and the measure is exact.
TEST_P(ReportWidths, MatchTheUtf8Form) {
    const WidthCase& c = GetParam();
    const ReportLayout layout(c.text, "vorna::package::version::Version", c.issues, c.colour);
    const std::string utf8 = layout.utf8();
    const std::u32string expected = decoded(utf8);
    const TextMeasure m = layout.measure();
    ASSERT_EQ(m.length, expected.size());
    ASSERT_EQ(m.utf8_bytes, utf8.size());
    // An ASCII text measures 0x7F wide: one bound serves all of ASCII.
    ASSERT_EQ(m.widest, std::max(U'\x7F', *std::max_element(expected.begin(), expected.end())));
    EXPECT_EQ(written<std::uint32_t>(layout, m), expected);
    if (m.widest <= 0xFFFF) {
        EXPECT_EQ(written<std::uint16_t>(layout, m), expected);
    }
    if (m.widest <= 0xFF) {
        EXPECT_EQ(written<std::uint8_t>(layout, m), expected);
    }
    EXPECT_EQ(utf8, render_parse_failure(c.text, "vorna::package::version::Version", c.issues, c.colour).message());
    // A draft in scratch of exactly its length holds it, unless a character
    // is past 16 bits; one unit less holds none. Both measure it whole.
    for (const std::size_t room : {m.length, m.length - 1}) {
        std::vector<std::uint16_t> scratch(room + 1, 0x5A);
        DraftSink draft{std::span(scratch).first(room)};
        layout.draft(draft);
        EXPECT_EQ(scratch.back(), 0x5A) << "drew past the scratch";
        ASSERT_EQ(std::pair(draft.measure().length, draft.measure().widest), std::pair(m.length, m.widest));
        const auto units = draft.drafted();
        ASSERT_EQ(units.has_value(), room == m.length && m.widest <= 0xFFFF);
        if (units) {
            EXPECT_EQ(std::u32string(units->begin(), units->end()), expected);
        }
    }
}

ParseIssue at(std::size_t start, std::size_t end, std::optional<char32_t> found) {
    return ParseIssue{start, end,
                      ExpectedFound{found, {Expectation::label("digit"), Expectation::token_of(U'.')}}};
}

INSTANTIATE_TEST_SUITE_P(
    Writer, ReportWidths,
    testing::Values(WidthCase{"Plain", "1.2.x", {at(4, 5, U'x')}, false},
                    WidthCase{"Colour", "1.2.x", {at(4, 5, U'x')}, true},
                    // Trailing blanks of the quoted line are left out, a tab and
                    // an ideographic space among them.
                    WidthCase{"TrailingBlanks", "1.x \t\xe3\x80\x80", {at(2, 3, U'x')}, false},
                    WidthCase{"AllBlank", " \t", {at(2, 2, std::nullopt)}, false},
                    WidthCase{"Astral", "1.\xf0\x9f\x98\x80", {at(2, 6, U'\U0001F600')}, true},
                    WidthCase{"Message", "1.2.x", {ParseIssue{0, 1, std::string("caf\xc3\xa9")}}, false},
                    WidthCase{"NoIssue", "1.2.x", {}, false},
                    WidthCase{"SeveralLines", "a\nb\nc\nd", {at(6, 7, U'd'), at(0, 1, U'a')}, true}),
    [](const testing::TestParamInfo<WidthCase>& info) { return std::string(info.param.name); });

// Storage that disagrees with the drawing, as a wrong measure would make it,
// ends the process with the fault report before a unit lands past its end or
// a character is cut to fit.
struct Disagreement {
    const char* name;
    long length_off, widest_off;  // added to the measure the storage is made from
    const char* fault;
};

class ReportStorageDeathTest : public testing::TestWithParam<Disagreement> {};

TEST_P(ReportStorageDeathTest, EndsTheProcess) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    const ParseIssue issue = at(4, 5, U'x');
    const ReportLayout layout("1.2.x", "vorna::package::version::Version", std::span(&issue, 1), false);
    const TextMeasure m = layout.measure();
    ASSERT_EQ(m.widest, U'╰');
    std::vector<std::uint16_t> units(m.length + GetParam().length_off);
    EXPECT_DEATH(layout.write(std::span(units), static_cast<char32_t>(m.widest + GetParam().widest_off)),
                 std::string("^vorna: internal fault on thread .* at .*unit_sink\\.hpp:.* in .*: a text sink") +
                     GetParam().fault + "\n$");
}

INSTANTIATE_TEST_SUITE_P(
    Writer, ReportStorageDeathTest,
    testing::Values(Disagreement{"OneShort", -1, 0, " was given more than the length measured for it"},
                    Disagreement{"OneLong", 1, 0, " was left short of the length measured for it"},
                    Disagreement{"NarrowerWidest", 0, -1, " was given a character wider than measured for it"},
                    Disagreement{"WiderWidest", 0, 1, " did not reach the widest character measured for it"},
                    Disagreement{"WidestPastTheUnit", 0, 0x10000, "'s widest character does not fit its unit"}),
    [](const testing::TestParamInfo<Disagreement>& info) { return std::string(info.param.name); });

// ASCII pieces of every length the widening steps treat differently land
// whole, after what is drafted already, and nothing past them.
TEST(ReportWriter, DraftHoldsAsciiPiecesOfEveryLength) {
    std::string bytes;
    for (char c = ' '; c <= '~'; ++c) bytes += c;
    for (std::size_t size = 0; size <= 41; ++size) {
        std::vector<std::uint16_t> scratch(size + 2, 0x5A);
        DraftSink draft{std::span(scratch).first(size + 1)};
        draft.put(U'╭');
        draft.ascii(std::string_view(bytes).substr(size, size));
        std::u32string expected = U"╭";
        expected.append(bytes.begin() + long(size), bytes.begin() + long(2 * size));
        const auto units = draft.drafted();
        ASSERT_TRUE(units.has_value()) << size;
        EXPECT_EQ(std::u32string(units->begin(), units->end()), expected) << size;
        EXPECT_EQ(scratch.back(), 0x5A) << size;
    }
}

// A piece whose count, worked out wrong, wraps the draft's measure leaves no
// draft, though the wrapped length fits the scratch: what it holds is not
// the measured text. Drawn again into storage of that measure, the same
// pieces end the process with the fault report.
TEST(ReportWriter, DraftPieceThatWrapsTheMeasureLeavesNoDraft) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    std::array<std::uint16_t, 8> scratch{};
    DraftSink draft{std::span(scratch)};
    const volatile std::size_t underflowed = std::size_t(-2);  // no constant for the compiler to reason about
    const auto draw = [&](auto& sink) {
        sink.ascii("1.2");
        sink.repeat(U'x', underflowed);
    };
    draw(draft);
    const TextMeasure m = draft.measure();
    ASSERT_EQ(m.length, 1u);
    EXPECT_FALSE(draft.drafted().has_value());
    std::vector<std::uint16_t> storage(m.length);
    UnitSink<std::uint16_t> sink{std::span(storage), m.widest};
    EXPECT_DEATH(draw(sink), "a text sink was given more than the length measured for it\n$");
}

// Memory running out at any allocation of a report ends in std::bad_alloc,
// never in a report that says so (which would need memory again); the
// allocations after the failed one succeed again.
TEST(ReportWriter, OutOfMemoryIsBadAlloc) {
    const std::string text = "1.2.x";
    std::string full;
    {
        SemVer out;
        full = parse_into(text, out)->to_error().message();
    }
    int failures = 0;
    for (long n = 0; n < 64; ++n) {
        SemVer out;
        try {
            fail_in = n;
            const std::string message = parse_into(text, out)->to_error().message();
            fail_in = -1;
            EXPECT_EQ(message, full) << "allocation " << n;
            if (failures > 0 && message == full) return;
        } catch (const std::bad_alloc&) {
            fail_in = -1;
            ++failures;
        }
    }
    FAIL() << "the report took more than 64 allocations, or none failed";
}

}  // namespace
}  // namespace vorna
