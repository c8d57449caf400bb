#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/grammar/matcher.hpp"
#include "core/grammar/semver_scan.hpp"

namespace vorna::grammar {
namespace {

std::string list_of(std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += i == 0 ? "a" : ".a";
    return out;
}

bool operator==(const DottedRange& a, const DottedRange& b) {
    return a.begin == b.begin && a.end == b.end && a.count == b.count;
}

// The quick scan takes what the matcher accepts, with the same shape, and
// turns down the rest; `taken` says which the scan does, so a scan that turns
// everything down fails too.
struct ScanCase {
    std::string name;
    std::string text;
    bool taken;
};

class SemVerScanAgrees : public testing::TestWithParam<ScanCase> {};

TEST_P(SemVerScanAgrees, WithTheMatcher) {
    const ScanCase& c = GetParam();
    SemVerShape quick;
    const bool taken = scan_semver(c.text, quick);
    // The same walk that leans on a NUL past the text agrees with it.
    SemVerShape leaning;
    EXPECT_EQ(scan_semver_terminated(c.text, leaning), taken);
    if (taken) {
        EXPECT_TRUE(leaning.rc == quick.rc && leaning.meta == quick.meta && leaning.patch == quick.patch);
    }
    Matcher<NullTracker> m(c.text);
    SemVerShape general;
    const bool accepted = m.semver_text(general);
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(taken, accepted);
    if (!taken || !accepted) return;
    EXPECT_EQ(quick.major, general.major);
    EXPECT_EQ(quick.minor, general.minor);
    EXPECT_EQ(quick.patch, general.patch);
    EXPECT_EQ(quick.has_rc, general.has_rc);
    EXPECT_EQ(quick.has_meta, general.has_meta);
    EXPECT_TRUE(quick.rc == general.rc);
    EXPECT_TRUE(quick.meta == general.meta);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SemVerScanAgrees,
    testing::Values(ScanCase{"plain", "1.2.3", true}, ScanCase{"prefix_v", "v1.2.3-rc.1+b.5", true},
                    ScanCase{"leading_zeros", "01.002.0003", true}, ScanCase{"capital_v", "V1.2.3", false},
                    ScanCase{"two_vs", "vv1.2.3", false}, ScanCase{"empty", "", false}, ScanCase{"v_alone", "v", false},
                    ScanCase{"empty_rc", "1.2.3-", true}, ScanCase{"empty_meta", "1.2.3+", true},
                    ScanCase{"both_empty", "1.2.3-+", true}, ScanCase{"hyphen_item", "1.2.3--", true},
                    ScanCase{"hyphen_in_meta", "1.2.3+b-c", true}, ScanCase{"empty_meta_after_rc", "1.2.3-rc.1+", true},
                    ScanCase{"max", "4294967295.4294967295.4294967295", true},
                    ScanCase{"max_zero_padded", "0004294967295.0.0", true},
                    ScanCase{"past_max", "4294967296.0.0", false}, ScanCase{"past_max_patch", "1.2.4294967296", false},
                    ScanCase{"twenty_digits", "99999999999999999999.1.1", false},
                    ScanCase{"two_dots", "1.2.3-a..b", false}, ScanCase{"trailing_dot", "1.2.3-a.", false},
                    ScanCase{"leading_dot", "1.2.3-.a", false}, ScanCase{"dot_before_plus", "1.2.3-a.+b", false},
                    ScanCase{"fourth_number", "1.2.3.4", false}, ScanCase{"two_numbers", "1.2", false},
                    ScanCase{"no_digits", "1..3", false}, ScanCase{"underscore", "1.2.3_x", false},
                    ScanCase{"second_plus", "1.2.3+a+b", false}, ScanCase{"space", "1.2.3 ", false},
                    ScanCase{"nul", std::string("1.2.3-a\0b", 9), false},
                    ScanCase{"non_ascii_rc", "1.2.3-\xc3\xa9", false},
                    ScanCase{"non_ascii_meta", "1.2.3+b.\xe6\xbc\xa2", false},
                    ScanCase{"malformed_byte", "1.2.3-a.\xff", false},
                    ScanCase{"items_65535", "1.2.3-" + list_of(65535) + "+b", true},
                    ScanCase{"items_65536", "1.2.3+" + list_of(65536), true},
                    ScanCase{"long_item", "1.2.3-" + std::string(70000, 'z'), true}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vorna::grammar
