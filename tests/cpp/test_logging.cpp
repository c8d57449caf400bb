#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/log/log.hpp"
#include "core/log/span.hpp"
#include "core/log/stdout.hpp"
#include "core/log/subscriber.hpp"
#include "core/log/thread_id.hpp"
#include "core/log/timestamp.hpp"
#include "log_capture.hpp"

namespace vorna::log {
namespace {

using namespace examples;

// ---------------------------------------------------------------------------
// Record layout without colour

struct LayoutCase {
    std::string name;
    Level level;
    std::optional<std::string_view> file;
    std::optional<std::uint32_t> line;
    std::vector<Field> fields;
    std::string expected;
};

class LogLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LogLayout, WritesTheRecordBlock) {
    const LayoutCase& c = GetParam();
    Captured captured;
    FormattingSubscriber subscriber = capturing(captured);
    Record record = example_record(c.fields, c.level);
    record.file = c.file;
    record.line = c.line;
    subscriber.record(record);
    EXPECT_EQ(captured.text, c.expected);
    EXPECT_EQ(captured.text.find('\x1b'), std::string::npos);
    EXPECT_TRUE(captured.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    LogRecords, LogLayout,
    ::testing::Values(
        LayoutCase{"WorkedExample", Level::info, "src/lib", 12, loaded_count, std::string(example_text)},
        LayoutCase{"NoFile", Level::info, std::nullopt, std::nullopt, loaded_count,
                   std::string(example_first_line) + "    on ThreadId(1)\n\n"},
        LayoutCase{"NoFileButLine", Level::info, std::nullopt, 12, loaded_count,
                   std::string(example_first_line) + "    on ThreadId(1)\n\n"},
        LayoutCase{"FileWithoutLine", Level::info, "src/lib", std::nullopt, loaded_count,
                   std::string(example_first_line) + "    at src/lib on ThreadId(1)\n\n"},
        LayoutCase{"Warn", Level::warn, "src/lib", 12, {{"message", "careful"}},
                   "  2024-05-01T09:30:00.000123Z  WARN vorna::package: careful\n" + example_at},
        LayoutCase{"Error", Level::error, "src/lib", 12, {{"message", "broken"}},
                   "  2024-05-01T09:30:00.000123Z ERROR vorna::package: broken\n" + example_at},
        LayoutCase{"FieldOrderKept", Level::info, "src/lib", 12, {{"count", 3}, {"message", "loaded"}},
                   "  2024-05-01T09:30:00.000123Z  INFO vorna::package: count: 3, loaded\n" + example_at},
        LayoutCase{"LogFieldsSkippedRawPrefixStripped",
                   Level::info,
                   "src/lib",
                   12,
                   {{"log.target", "x"}, {"message", "m"}, {"log.line", 3}, {"r#type", "semver"}, {"log.file", "f"}},
                   "  2024-05-01T09:30:00.000123Z  INFO vorna::package: m, type: \"semver\"\n" + example_at},
        LayoutCase{"TextValuesQuotedMessagePlain",
                   Level::info,
                   "src/lib",
                   12,
                   {{"message", "say \"hi\""}, {"text", "tab\there \"q\" \\ nl\n"}},
                   "  2024-05-01T09:30:00.000123Z  INFO vorna::package: say \"hi\", "
                   "text: \"tab\\there \\\"q\\\" \\\\ nl\\n\"\n" +
                       example_at},
        LayoutCase{"OtherValueKinds",
                   Level::info,
                   "src/lib",
                   12,
                   {{"flag", true},
                    {"delta", -7},
                    {"big", std::numeric_limits<std::uint64_t>::max()},
                    {"least", std::numeric_limits<std::int64_t>::min()},
                    {"ratio", 0.5},
                    {"whole", 3.0},
                    {"tiny", 1.5e-5},
                    {"huge", 1e16}},
                   "  2024-05-01T09:30:00.000123Z  INFO vorna::package: flag: true, delta: -7, "
                   "big: 18446744073709551615, least: -9223372036854775808, ratio: 0.5, whole: 3.0, "
                   "tiny: 1.5e-5, huge: 1e16\n" +
                       example_at},
        LayoutCase{"MessageThatIsNotText", Level::info, "src/lib", 12, {{"message", 42}, {"ok", false}},
                   "  2024-05-01T09:30:00.000123Z  INFO vorna::package: 42, ok: false\n" + example_at},
        LayoutCase{"NoFields", Level::info, "src/lib", 12, {},
                   "  2024-05-01T09:30:00.000123Z  INFO vorna::package: \n" + example_at}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Level filter

struct FilterCase {
    Level level;
    bool written;
};

class LogFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(LogFilter, WritesInfoAndLessVerboseOnly) {
    Captured captured;
    FormattingSubscriber subscriber = capturing(captured);
    subscriber.record(example_record(loaded_count, GetParam().level));
    EXPECT_EQ(!captured.text.empty(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(LogLevels, LogFilter,
                         ::testing::Values(FilterCase{Level::trace, false}, FilterCase{Level::debug, false},
                                           FilterCase{Level::info, true}, FilterCase{Level::warn, true},
                                           FilterCase{Level::error, true}));

// ---------------------------------------------------------------------------
// Spans

std::string record_in_spans(const Span* parent = nullptr) {
    Captured captured;
    FormattingSubscriber subscriber = capturing(captured);
    Record record = example_record(loaded_count);
    record.parent = parent;
    subscriber.record(record);
    return captured.text;
}

TEST(LogSpans, InnermostFirstWithFieldsOnlyWhenPresent) {
    const Span outer("vorna", "outer", {{"id", 7}, {"path", "a.txt"}});
    const SpanGuard in_outer(outer);
    const Span inner("vorna::package", "inner");
    const SpanGuard in_inner(inner);
    EXPECT_EQ(record_in_spans(), std::string(example_text.substr(0, example_text.size() - 1)) +
                                     "    in vorna::package::inner\n"
                                     "    in vorna::outer with id: 7, path: \"a.txt\"\n"
                                     "\n");
}

TEST(LogSpans, ParentIsTheSpanCurrentAtCreation) {
    Span inner;
    {
        const Span outer("vorna", "outer");
        const SpanGuard entered(outer);
        inner = Span("vorna", "inner");
    }
    // `inner` keeps `outer` alive and lies in it even though neither is entered now.
    EXPECT_EQ(inner.parent().name(), "outer");
    EXPECT_TRUE(inner.parent().parent().empty());
    EXPECT_EQ(record_in_spans(&inner), std::string(example_text.substr(0, example_text.size() - 1)) +
                                           "    in vorna::inner\n    in vorna::outer\n\n");
}

TEST(LogSpans, ExplicitParentWinsOverCurrentSpan) {
    const Span other("vorna", "other", {{"n", 1}});
    const Span child = Span::child_of(other, "vorna::package", "child");
    const Span current("vorna", "current");
    const SpanGuard entered(current);
    EXPECT_EQ(record_in_spans(&child), std::string(example_text.substr(0, example_text.size() - 1)) +
                                           "    in vorna::package::child\n    in vorna::other with n: 1\n\n");
    // An empty explicit parent puts the record in no span at all.
    const Span none;
    EXPECT_EQ(record_in_spans(&none), example_text);
}

TEST(LogSpans, LeavingRestoresTheEnclosingSpan) {
    const Span outer("vorna", "outer");
    const SpanGuard in_outer(outer);
    {
        const Span inner("vorna", "inner");
        const SpanGuard in_inner(inner);
        EXPECT_EQ(Span::current(), inner);
    }
    EXPECT_EQ(Span::current(), outer);
    EXPECT_EQ(record_in_spans(), std::string(example_text.substr(0, example_text.size() - 1)) +
                                     "    in vorna::outer\n\n");
}

TEST(LogSpans, NoSpanLinesOutsideSpans) {
    EXPECT_TRUE(Span::current().empty());
    EXPECT_EQ(record_in_spans(), example_text);
}

TEST(LogSpans, OnlyUnprintedFieldsMeansNoWith) {
    const Span span("vorna", "quiet", {{"log.target", "x"}});
    EXPECT_EQ(record_in_spans(&span),
              std::string(example_text.substr(0, example_text.size() - 1)) + "    in vorna::quiet\n\n");
}

TEST(LogSpans, SpanOwnsCopiesOfItsTexts) {
    std::string target = "vorna::owned";
    std::string name = "span";
    std::string field = "key";
    std::string value = "value";
    const Span span(target, name, {{field, value}});
    target.assign(40, 'X');
    name.assign(40, 'X');
    field.assign(40, 'X');
    value.assign(40, 'X');
    EXPECT_EQ(record_in_spans(&span), std::string(example_text.substr(0, example_text.size() - 1)) +
                                          "    in vorna::owned::span with key: \"value\"\n\n");
}

// ---------------------------------------------------------------------------
// Timestamps

struct TimestampCase {
    std::string name;
    std::optional<Timestamp> time;
    std::string expected;
};

class LogTimestamp : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(LogTimestamp, WritesUtcWithMicroseconds) {
    std::string out = "x";
    append_timestamp(out, GetParam().time);
    EXPECT_EQ(out, "x" + GetParam().expected);
}

constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();

INSTANTIATE_TEST_SUITE_P(
    LogInstants, LogTimestamp,
    ::testing::Values(
        TimestampCase{"Epoch", Timestamp{0, 0}, "1970-01-01T00:00:00.000000Z"},
        TimestampCase{"MicrosecondsTruncated", Timestamp{1714555800, 123999}, "2024-05-01T09:30:00.000123Z"},
        TimestampCase{"SecondBeforeEpoch", Timestamp{-1, 999'999'999}, "1969-12-31T23:59:59.999999Z"},
        TimestampCase{"LeapDay", Timestamp{951782400, 0}, "2000-02-29T00:00:00.000000Z"},
        TimestampCase{"YearOne", Timestamp{-62135596800, 1000}, "0001-01-01T00:00:00.000001Z"},
        TimestampCase{"YearZero", Timestamp{-62167219200, 0}, "0000-01-01T00:00:00.000000Z"},
        TimestampCase{"LastSecondOfYearMinusOne", Timestamp{-62167219201, 0}, "-0001-12-31T23:59:59.000000Z"},
        TimestampCase{"YearMinusOne", Timestamp{-62198755200, 0}, "-0001-01-01T00:00:00.000000Z"},
        TimestampCase{"YearMinus9999", Timestamp{-377673580801, 5000}, "-9999-12-31T23:59:59.000005Z"},
        TimestampCase{"YearMinus10000", Timestamp{-377705116801, 0}, "-10000-12-31T23:59:59.000000Z"},
        TimestampCase{"Year9999", Timestamp{253402300799, 999'999'999}, "9999-12-31T23:59:59.999999Z"},
        TimestampCase{"Year10000", Timestamp{253402300800, 0}, "+10000-01-01T00:00:00.000000Z"},
        TimestampCase{"LatestInstant", Timestamp{int64_max, 0}, "+292277026596-12-04T15:30:07.000000Z"},
        TimestampCase{"EarliestInstant", Timestamp{int64_min, 0}, "-292277022657-01-27T08:29:52.000000Z"},
        TimestampCase{"Unavailable", std::nullopt, "<unknown time>"},
        TimestampCase{"NanosecondsOutOfRange", Timestamp{0, 1'000'000'000}, "<unknown time>"}),
    [](const auto& info) { return info.param.name; });

TEST(LogClock, UnavailableClockStillWritesTheRecord) {
    Captured captured;
    FormattingSubscriber subscriber = capturing(captured, false, [] { return std::optional<Timestamp>(); });
    subscriber.record(example_record(loaded_count));
    EXPECT_EQ(captured.text, "  <unknown time>  INFO vorna::package: loaded, count: 3\n" + example_at);
}

TEST(LogClock, SystemTimeIsAfter2024) {
    const std::optional<Timestamp> now = system_time();
    ASSERT_TRUE(now.has_value());
    EXPECT_GT(now->seconds, example_time.seconds);
    EXPECT_LT(now->nanoseconds, 1'000'000'000u);
}

// ---------------------------------------------------------------------------
// Colour

struct NoColorCase {
    std::string name;
    const char* value;
    bool colour;
};

class LogColourDecision : public ::testing::TestWithParam<NoColorCase> {};

TEST_P(LogColourDecision, OffOnlyForNonEmptyUnicode) {
    EXPECT_EQ(colour_for_no_color(GetParam().value), GetParam().colour);
}

INSTANTIATE_TEST_SUITE_P(LogNoColor, LogColourDecision,
                         ::testing::Values(NoColorCase{"Unset", nullptr, true}, NoColorCase{"Empty", "", true},
                                           NoColorCase{"One", "1", false}, NoColorCase{"Zero", "0", false},
                                           NoColorCase{"Word", "yes", false},
                                           NoColorCase{"NonAsciiUnicode", "\xC3\xA9", false},
                                           NoColorCase{"InvalidUtf8", "\xFF\xFE", true}),
                         [](const auto& info) { return info.param.name; });

TEST(LogColour, WorkedExampleStyles) {
    Captured captured;
    FormattingSubscriber subscriber = capturing(captured, true);
    subscriber.record(example_record(loaded_count));
    EXPECT_EQ(captured.text,
              "  \x1b[2m2024-05-01T09:30:00.000123Z\x1b[0m \x1b[32m INFO\x1b[0m \x1b[1;32mvorna::package\x1b[0m"
              "\x1b[32m:\x1b[0m \x1b[32mloaded\x1b[0m\x1b[32m, \x1b[0m\x1b[1;32mcount\x1b[0m\x1b[32m: 3\x1b[0m\n"
              "    \x1b[2;3mat\x1b[0m src/lib:12 \x1b[2;3mon\x1b[0m ThreadId(1)\n"
              "\n");
}

TEST(LogColour, SpanLineStyles) {
    const Span span("vorna", "outer", {{"id", 7}});
    Captured captured;
    FormattingSubscriber subscriber = capturing(captured, true);
    Record record = example_record({});
    record.file.reset();
    record.parent = &span;
    subscriber.record(record);
    const std::string text = captured.text;
    EXPECT_NE(text.find("\n    \x1b[2;3mon\x1b[0m ThreadId(1)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    \x1b[2;3min\x1b[0m vorna::\x1b[1mouter\x1b[0m \x1b[2;3mwith\x1b[0m \x1b[1mid\x1b[0m: 7\n\n"),
              std::string::npos)
        << text;
}

struct LevelColourCase {
    Level level;
    std::string label;
};

class LogLevelColour : public ::testing::TestWithParam<LevelColourCase> {};

TEST_P(LogLevelColour, LabelTargetAndFieldsInTheLevelColour) {
    Captured captured;
    FormattingSubscriber subscriber = capturing(captured, true);
    subscriber.record(example_record(loaded_count, GetParam().level));
    EXPECT_NE(captured.text.find(GetParam().label), std::string::npos) << captured.text;
}

INSTANTIATE_TEST_SUITE_P(
    LogLevels, LogLevelColour,
    ::testing::Values(
        LevelColourCase{Level::info, "\x1b[32m INFO\x1b[0m \x1b[1;32mvorna::package\x1b[0m\x1b[32m:\x1b[0m \x1b[32mloaded"},
        LevelColourCase{Level::warn, "\x1b[33m WARN\x1b[0m \x1b[1;33mvorna::package\x1b[0m\x1b[33m:\x1b[0m \x1b[33mloaded"},
        LevelColourCase{Level::error,
                        "\x1b[31mERROR\x1b[0m \x1b[1;31mvorna::package\x1b[0m\x1b[31m:\x1b[0m \x1b[31mloaded"}));

}  // namespace
}  // namespace vorna::log
