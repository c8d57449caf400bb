// The version model: text and debug forms, equality and order.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/model/version.hpp"

using namespace std::string_literals;

namespace vorna {
namespace {

std::optional<TextList> none() { return std::nullopt; }
std::optional<TextList> some(TextList list) { return list; }

struct FormCase {
    const char* name;
    Version value;
    std::string text;
    std::string debug;  // debug form of the inner value
};

class ModelForms : public testing::TestWithParam<FormCase> {};

TEST_P(ModelForms, TextAndDebugForms) {
    const FormCase& c = GetParam();
    EXPECT_EQ(to_text(c.value), c.text);
    EXPECT_EQ(to_debug(c.value), "Version::" + c.debug);
    std::string inner;
    c.value.visit([&](const auto& v) { append_debug(inner, v); });
    EXPECT_EQ(inner, c.debug);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, ModelForms,
    testing::Values(
        FormCase{"plain", SemVer{1, 2, 3, none(), none()}, "1.2.3",
                 "SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }"},
        FormCase{"rc_and_meta", SemVer{1, 0, 0, some({"alpha", "1"}), some({"build", "5"})}, "1.0.0-alpha.1+build.5",
                 R"(SemVer { major: 1, minor: 0, patch: 0, rc: Some(["alpha", "1"]), meta: Some(["build", "5"]) })"},
        FormCase{"meta_only", SemVer{0, 0, 0, none(), some({"sha"})}, "0.0.0+sha",
                 R"(SemVer { major: 0, minor: 0, patch: 0, rc: None, meta: Some(["sha"]) })"},
        FormCase{"empty_rc_max_major", SemVer{4294967295u, 0, 7, some({}), none()}, "4294967295.0.7-",
                 "SemVer { major: 4294967295, minor: 0, patch: 7, rc: Some([]), meta: None }"},
        FormCase{"empty_meta", SemVer{1, 2, 3, none(), some({})}, "1.2.3+",
                 "SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: Some([]) }"},
        FormCase{"both_empty", SemVer{1, 2, 3, some({}), some({})}, "1.2.3-+",
                 "SemVer { major: 1, minor: 2, patch: 3, rc: Some([]), meta: Some([]) }"},
        FormCase{"dotted_identifier", SemVer{1, 2, 3, some({"a.b"}), none()}, "1.2.3-a.b",
                 R"(SemVer { major: 1, minor: 2, patch: 3, rc: Some(["a.b"]), meta: None })"},
        FormCase{"dot_separated", DotSeparated{{"1", "10", "b"}}, "1.10.b",
                 R"(DotSeparated { parts: ["1", "10", "b"] })"},
        FormCase{"leading_zero_part", DotSeparated{{"2024", "05"}}, "2024.05",
                 R"(DotSeparated { parts: ["2024", "05"] })"},
        FormCase{"no_parts", DotSeparated{{}}, "", "DotSeparated { parts: [] }"},
        FormCase{"one_empty_part", DotSeparated{{""}}, "", R"(DotSeparated { parts: [""] })"},
        FormCase{"other", Other{"nightly"}, "nightly", R"(Other { value: "nightly" })"},
        FormCase{"other_quoted", Other{"\"x\""}, "\"x\"", R"(Other { value: "\"x\"" })"},
        FormCase{"escapes", Other{"a\tb\nc\rd\\e\0f'g"s}, "a\tb\nc\rd\\e\0f'g"s,
                 R"(Other { value: "a\tb\nc\rd\\e\0f'g" })"},
        FormCase{"printable_non_ascii", Other{"é漢"}, "é漢", R"(Other { value: "é漢" })"},
        FormCase{"non_printable", Other{"a\u200b\x7f\x01\u00a0"}, "a\u200b\x7f\x01\u00a0",
                 R"(Other { value: "a\u{200b}\u{7f}\u{1}\u{a0}" })"},
        FormCase{"combining_mark", Other{"e\u0301"}, "e\u0301", R"(Other { value: "e\u{301}" })"},
        FormCase{"astral_private_use", Other{"\U0010FFFD"}, "\U0010FFFD", R"(Other { value: "\u{10fffd}" })"}),
    [](const testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

// Pairs (lower, higher) written as values; each must be strictly ordered,
// unequal, and consistent under swapping.
struct OrderCase {
    const char* name;
    Version lower;
    Version higher;
};

class ModelOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(ModelOrder, StrictlyLess) {
    const OrderCase& c = GetParam();
    EXPECT_TRUE(c.lower < c.higher);
    EXPECT_TRUE(c.higher > c.lower);
    EXPECT_FALSE(c.lower == c.higher);
    EXPECT_FALSE(c.higher < c.lower);
    EXPECT_EQ(c.lower <=> c.lower, std::strong_ordering::equal);
    EXPECT_EQ(c.higher <=> c.higher, std::strong_ordering::equal);
    // The strict order a sort asks for agrees with the three-way one.
    const SemVer* lower = c.lower.get_if<SemVer>();
    const SemVer* higher = c.higher.get_if<SemVer>();
    if (lower && higher) {
        EXPECT_TRUE(is_less(*lower, *higher));
        EXPECT_FALSE(is_less(*higher, *lower));
        EXPECT_FALSE(is_less(*lower, *lower));
    }
}

SemVer sv(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::optional<TextList> rc = std::nullopt,
          std::optional<TextList> meta = std::nullopt) {
    return SemVer{a, b, c, std::move(rc), std::move(meta)};
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ModelOrder,
    testing::Values(
        OrderCase{"prerelease_below_release", sv(1, 0, 0, some({"alpha"})), sv(1, 0, 0)},
        OrderCase{"rc_below_release", sv(1, 0, 0, some({"rc", "1"})), sv(1, 0, 0)},
        OrderCase{"rc_above_older", sv(0, 9, 9), sv(1, 0, 0, some({"rc", "1"}))},
        OrderCase{"prefix_list_less", sv(1, 0, 0, some({"alpha"})), sv(1, 0, 0, some({"alpha", "1"}))},
        OrderCase{"byte_order_digit_letter", sv(1, 0, 0, some({"alpha", "1"})), sv(1, 0, 0, some({"alpha", "beta"}))},
        OrderCase{"digits_compare_as_text", sv(1, 0, 0, some({"beta", "11"})), sv(1, 0, 0, some({"beta", "2"}))},
        OrderCase{"rc10_below_rc9", sv(1, 0, 0, some({"rc", "10"})), sv(1, 0, 0, some({"rc", "9"}))},
        OrderCase{"capitals_first", sv(1, 0, 0, some({"RC", "1"})), sv(1, 0, 0, some({"rc", "1"}))},
        OrderCase{"minor_numeric", sv(1, 9, 0), sv(1, 10, 0)},
        OrderCase{"major_numeric_full_range", sv(4, 0, 0), sv(4294967295u, 0, 0)},
        OrderCase{"patch_decides", sv(1, 2, 3), sv(1, 2, 4)},
        OrderCase{"patch_full_range_below_next_minor", sv(1, 0, 4294967295u), sv(1, 1, 0)},
        OrderCase{"minor_full_range_below_next_major", sv(0, 4294967295u, 4294967295u), sv(1, 0, 0)},
        OrderCase{"meta_ignored_rc_decides", sv(1, 0, 0, some({"alpha"}), some({"x"})), sv(1, 0, 0, none(), some({"x"}))},
        OrderCase{"empty_rc_below_absent", sv(1, 0, 0, some({})), sv(1, 0, 0)},
        OrderCase{"empty_rc_below_one_empty_identifier", sv(1, 0, 0, some({})), sv(1, 0, 0, some({""}))},
        OrderCase{"dotted_text_order", DotSeparated{{"1", "10"}}, DotSeparated{{"1", "9"}}},
        OrderCase{"dotted_prefix", DotSeparated{{"1", "2"}}, DotSeparated{{"1", "2", "0"}}},
        OrderCase{"leading_zero_part", DotSeparated{{"01"}}, DotSeparated{{"1"}}},
        OrderCase{"ten_below_two", DotSeparated{{"10"}}, DotSeparated{{"2"}}},
        OrderCase{"no_parts_lowest", DotSeparated{{}}, DotSeparated{{""}}},
        OrderCase{"other_last_byte", Other{"abc"}, Other{"abd"}},
        OrderCase{"other_prefix", Other{"ab"}, Other{"abc"}},
        OrderCase{"other_case", Other{"Z"}, Other{"a"}},
        OrderCase{"other_empty_lowest", Other{""}, Other{"\x01"}},
        OrderCase{"bytes_unsigned", Other{"z"}, Other{"é"}},
        OrderCase{"semver_below_dotted", sv(99, 0, 0), DotSeparated{{"0"}}},
        OrderCase{"dotted_below_other", DotSeparated{{"0"}}, Other{"a"}},
        OrderCase{"semver_below_other", sv(4294967295u, 4294967295u, 4294967295u), Other{""}},
        OrderCase{"same_kind_inner_order", sv(1, 0, 0, some({"alpha"})), sv(1, 0, 0)}),
    [](const testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

// Values that are equal to one another although they differ in build metadata.
TEST(ModelEquality, MetaIsIgnored) {
    const std::vector<SemVer> equal = {sv(1, 0, 0, none(), some({"build", "1"})), sv(1, 0, 0, none(), some({"build", "2"})),
                                       sv(1, 0, 0), sv(1, 0, 0, none(), some({}))};
    for (const SemVer& a : equal) {
        for (const SemVer& b : equal) {
            EXPECT_TRUE(a == b) << to_text(a) << " vs " << to_text(b);
            EXPECT_EQ(a <=> b, std::strong_ordering::equal);
        }
    }
    EXPECT_EQ(sv(1, 0, 0, some({"alpha"}), some({"x"})), sv(1, 0, 0, some({"alpha"}), some({"y"})));
}

TEST(ModelEquality, KindsNeverEqualEvenWithSameText) {
    const Version semver = sv(1, 2, 3);
    const Version dotted = DotSeparated{{"1", "2", "3"}};
    EXPECT_EQ(to_text(semver), to_text(dotted));
    EXPECT_NE(semver, dotted);
    EXPECT_LT(semver, dotted);
}

TEST(ModelEquality, DottedIdentifierDiffersFromTwoIdentifiers) {
    const SemVer one = sv(1, 0, 0, some({"a.b"}));
    const SemVer two = sv(1, 0, 0, some({"a", "b"}));
    EXPECT_EQ(to_text(one), to_text(two));
    EXPECT_NE(one, two);
    EXPECT_NE(to_debug(Version(one)), to_debug(Version(two)));
}

TEST(ModelCopy, DeepCopyIsIndependent) {
    Version original = sv(1, 2, 3, some({"rc", "1"}), some({"b"}));
    Version copy = original;
    copy.get_if<SemVer>()->set_rc(TextList{"beta", "1"});
    copy.get_if<SemVer>()->set_meta(std::nullopt);
    EXPECT_EQ(to_text(original), "1.2.3-rc.1+b");
    EXPECT_EQ(to_text(copy), "1.2.3-beta.1");
}

// Assigning one value to another, of the same kind or another, replaces it
// whole; assigning a value to itself keeps it.
TEST(ModelAssignment, CopyAndMoveReplaceTheValue) {
    const std::vector<Version> values = {SemVer{1, 2, 3, some({"rc", "1"}), some({"b"})}, SemVer{4, 5, 6, none(), none()},
                                         DotSeparated{{"1", "2"}}, Other{"x"}};
    for (const Version& from : values) {
        for (const Version& to : values) {
            Version copied = to;
            copied = from;
            EXPECT_EQ(to_debug(copied), to_debug(from));
            Version source = from;
            Version moved = to;
            moved = std::move(source);
            EXPECT_EQ(to_debug(moved), to_debug(from));
        }
        Version self = from;
        Version& alias = self;
        self = alias;
        EXPECT_EQ(to_debug(self), to_debug(from));
        self = std::move(alias);
        EXPECT_EQ(to_debug(self), to_debug(from));
    }
}

}  // namespace
}  // namespace vorna
