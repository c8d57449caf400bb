// The packed lists of the model values, blocks placed by their owner, and
// the agreement of the two ways a text is parsed (bare, then tracked on
// failure; or tracked from the start for long texts).
#include <gtest/gtest.h>

#include <stdexcept>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/grammar/grammar.hpp"
#include "core/parse/parse.hpp"
#include "core/model/version.hpp"

namespace vorna {
namespace {

using OptionalList = std::optional<TextList>;

std::optional<TextList> owned(const std::optional<ListView>& list) {
    if (!list) return std::nullopt;
    return list->to_list();
}

// Every combination of absent, empty and filled lists comes back as stored,
// through a copy too, and setting one list keeps the other.
struct ListsCase {
    const char* name;
    OptionalList rc;
    OptionalList meta;
};

class PackedSemVerLists : public testing::TestWithParam<ListsCase> {};

TEST_P(PackedSemVerLists, RoundTripAndReplace) {
    const ListsCase& c = GetParam();
    const SemVer v(1, 2, 3, c.rc, c.meta);
    const SemVer copy = v;
    for (const SemVer* s : {&v, &copy}) {
        EXPECT_EQ(owned(s->rc()), c.rc);
        EXPECT_EQ(owned(s->meta()), c.meta);
    }
    SemVer changed = v;
    changed.set_rc(TextList{"x", "", "yz"});
    EXPECT_EQ(owned(changed.rc()), (TextList{"x", "", "yz"}));
    EXPECT_EQ(owned(changed.meta()), c.meta);
    changed.set_meta(std::nullopt);
    EXPECT_EQ(owned(changed.meta()), std::nullopt);
    EXPECT_EQ(owned(v.rc()), c.rc) << "the original changed with its copy";
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, PackedSemVerLists,
    testing::Values(ListsCase{"both_absent", std::nullopt, std::nullopt},
                    ListsCase{"both_empty", TextList{}, TextList{}},
                    ListsCase{"rc_only", TextList{"rc", "1"}, std::nullopt},
                    ListsCase{"meta_only", std::nullopt, TextList{"sha"}},
                    ListsCase{"empty_rc_filled_meta", TextList{}, TextList{"b", "5"}},
                    ListsCase{"empty_identifiers", TextList{"", ""}, TextList{""}},
                    ListsCase{"bytes_of_every_kind", TextList{std::string("a\0b", 3), "é.漢"}, TextList{"\xff"}},
                    ListsCase{"offsets_past_16_bits", TextList{std::string(70000, 'a'), "b"}, TextList{"c"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A value built at a site chosen once the match is known: the site is asked
// for exactly the block the value then fills; every kind, long texts (matched
// with tracking) and refused rooms included, comes out as the match builds
// it; a failed match never asks. The value uses the room it is given, never
// frees it, and a copy gets a block of its own.
class Site final : public BuildSite {
public:
    void* make(std::size_t bytes, BlockRoom& block) override {
        ++calls;
        asked = bytes;
        if (bytes <= sizeof room) block = {room + misaligned_by, bytes - short_by - misaligned_by};
        return value;
    }
    Version& built() { return *std::launder(reinterpret_cast<Version*>(value)); }
    alignas(Version) unsigned char value[sizeof(Version)];
    alignas(16) unsigned char room[64];
    std::size_t asked = 0;
    std::size_t short_by = 0;
    std::size_t misaligned_by = 0;
    int calls = 0;
};

TEST(PackedPlacement, BlockGoesWhereOfferedAndCopiesOwnTheirs) {
    Site site;
    std::optional<Version> copy;
    {
        ASSERT_FALSE(match_at<Version>("1.2.3-rc.1+b", site).has_value());
        const ListView rc = site.built().get_if<SemVer>()->rc().value();
        EXPECT_GE(rc.front().data(), reinterpret_cast<const char*>(site.room));
        EXPECT_LT(rc.front().data(), reinterpret_cast<const char*>(site.room + sizeof site.room));
        copy.emplace(site.built());
        site.built().~Version();
    }  // the value ends without freeing the room (a sanitizer build would object)
    std::fill(std::begin(site.room), std::end(site.room), 0);
    EXPECT_EQ(to_text(*copy), "1.2.3-rc.1+b");
}

TEST(PackedPlacement, RefusedRoomMeansAnOwnBlock) {
    Site site;
    const std::string text = "1.2.3-" + std::string(100, 'a');
    ASSERT_FALSE(match_at<Version>(text, site).has_value());
    EXPECT_GT(site.asked, sizeof site.room);
    std::fill(std::begin(site.room), std::end(site.room), 0);
    EXPECT_EQ(to_text(site.built()), text);
    site.built().~Version();
}

TEST(PackedPlacement, FailedParseLeavesTheValue) {
    Version v = DotSeparated(TextList{"kept"});
    EXPECT_TRUE(parse_into("1.2.3-rc.1_", v).has_value());
    EXPECT_EQ(to_debug(v), R"(Version::DotSeparated { parts: ["kept"] })");
}

class PackedSite : public testing::TestWithParam<std::string> {};

TEST_P(PackedSite, BuildsWhatTheMatchBuilds) {
    const std::string& text = GetParam();
    Site site;
    ASSERT_FALSE(match_at<Version>(text, site).has_value());
    ASSERT_EQ(site.calls, 1);
    const Version expected = std::get<Version>(match<Version>(text));
    EXPECT_EQ(site.built(), expected);
    EXPECT_EQ(to_debug(site.built()), to_debug(expected));
    site.built().~Version();
}

INSTANTIATE_TEST_SUITE_P(Kinds, PackedSite,
                         testing::Values("1.2.3", "v1.2.3-rc.1+b.5", "1.2.x", "nightly", "1.2.3-" + std::string(200, 'a'),
                                         std::string(300, 'z')));

TEST(PackedSite, AsksForTheBlockItFills) {
    Site site;
    ASSERT_FALSE(match_at<SemVer>("1.2.3-rc.1+b.5", site).has_value());
    auto& value = *std::launder(reinterpret_cast<SemVer*>(site.value));
    // The block's length, two counts and four ends in 16-bit words, then
    // the bytes "rc.1b.5".
    EXPECT_EQ(site.asked, sizeof(std::uint32_t) + 2 * sizeof(std::uint16_t) + 4 * sizeof(std::uint16_t) + 7);
    EXPECT_EQ(value.rc()->front().data(), reinterpret_cast<const char*>(site.room) + site.asked - 7);
    EXPECT_EQ(value.meta()->back().data(), reinterpret_cast<const char*>(site.room) + site.asked - 1);
    value.~SemVer();
}

// A list is copied as it lies, its ends found at its dots: every length up
// to 24 bytes (a single item goes a word at a time), with every placement of
// dots that leaves no item empty, in either list, must come back item by
// item.
TEST(PackedSite, EveryDotPlacementComesBack) {
    for (std::size_t size = 1; size <= 24; ++size) {
        for (std::uint32_t dots = 0; dots < (1u << std::min<std::size_t>(size, 14)); dots += size > 14 ? 37 : 1) {
            std::string list;
            TextList items(1);
            for (std::size_t i = 0; i < size; ++i) {
                const bool dot = i != 0 && i + 1 != size && ((dots >> (i % 14)) & 1) && list.back() != '.';
                list += dot ? '.' : char('a' + i % 26);
                if (dot) {
                    items.emplace_back();
                } else {
                    items.back().push_back(list.back());
                }
            }
            Site site;
            ASSERT_FALSE(match_at<SemVer>("1.2.3-x" + list + "+" + list, site).has_value()) << list;
            const SemVer& value = *std::launder(reinterpret_cast<SemVer*>(site.value));
            items.front().insert(0, "x");
            EXPECT_EQ(owned(value.rc()), items) << list;
            items.front().erase(0, 1);
            EXPECT_EQ(owned(value.meta()), items) << list;
            value.~SemVer();
        }
    }
}

// An absent list is empty whatever its range holds: the range is not read,
// though here it lies outside the text and ends before it begins.
TEST(PackedSite, AbsentListsRangeIsNotRead) {
    const DottedRange rc{6, 10, 2};
    const DottedRange stray{100, 3, 7};
    for (const unsigned present : {1u, 2u}) {
        const std::size_t kept = present == 1 ? 0 : 1;
        const PackedLists<2> lists(
            MatchedLists<2>("1.2.3-rc.1", kept == 0 ? std::array{&rc, &stray} : std::array{&stray, &rc}, present),
            BlockRoom());
        EXPECT_EQ(owned(lists.get_if_present(kept)), (TextList{"rc", "1"}));
        EXPECT_EQ(owned(lists.get_if_present(1 - kept)), std::nullopt);
    }
}

TEST(PackedSite, FailedMatchNeverAsks) {
    Site site;
    EXPECT_TRUE(match_at<SemVer>("1.2.x", site).has_value());
    EXPECT_EQ(site.calls, 0);
}

// Long texts are matched with tracking from the start, short ones bare and
// again on failure: both must accept the same texts, build the same values
// and render the same reports as the matcher that always runs bare first.
struct AgreeCase {
    const char* name;
    std::string text;
};

class ParsePathsAgree : public testing::TestWithParam<AgreeCase> {};

template <class T, class R> void expect_agree(const Match<T>& m, const R& parsed, std::string_view text,
                                              std::string_view source_id) {
    if (const T* value = std::get_if<T>(&m)) {
        ASSERT_TRUE(parsed.ok()) << parsed.error().message();
        EXPECT_EQ(to_debug(parsed.value()), to_debug(*value));
        return;
    }
    ASSERT_FALSE(parsed.ok());
    const ParseIssue& issue = std::get<ParseIssue>(m);
    EXPECT_EQ(parsed.error().message(),
              render_parse_failure(text, source_id, std::span<const ParseIssue>(&issue, 1)).message());
}

TEST_P(ParsePathsAgree, SameValuesAndReports) {
    const std::string& text = GetParam().text;
    expect_agree(match<SemVer>(text), parse_semver(text), text, source_id<SemVer>);
    expect_agree(match<DotSeparated>(text), parse_dot_separated(text), text, source_id<DotSeparated>);
    expect_agree(match<Other>(text), parse_other(text), text, source_id<Other>);
    expect_agree(match<Version>(text), parse_version(text), text, source_id<Version>);
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out.append(piece);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    ShortAndLong, ParsePathsAgree,
    testing::Values(AgreeCase{"short_semver", "1.2.3-rc.1+b.5"}, AgreeCase{"short_failure", "1.2.x"},
                    AgreeCase{"long_semver", "1.2.3-" + repeat("rc.", 100) + "1+" + repeat("b", 200)},
                    AgreeCase{"long_semver_fails_at_end", "1.2.3-" + repeat("rc.", 100) + "1_"},
                    AgreeCase{"long_dotted", repeat("a1.", 100) + "z"},
                    AgreeCase{"long_dotted_trailing_dot", repeat("a1.", 100)},
                    AgreeCase{"long_identifier", repeat("é_x", 100)},
                    AgreeCase{"long_identifier_fails_at_end", repeat("ab_", 100) + "-"},
                    AgreeCase{"long_with_line_break", repeat("ab", 100) + "\n" + repeat("cd", 100)},
                    AgreeCase{"long_number_too_large", "1." + repeat("9", 200) + ".3"}),
    [](const auto& info) { return std::string(info.param.name); });

// Lists at the edge of the 16-bit words, parsed into a value: 65,535 items
// or bytes still fit them, 65,536 do not. Every item and the whole text form
// must come back, with the block placed by its owner and without.
struct EdgeCase {
    const char* name;
    std::string text;
    std::size_t items;
};

std::string items_of(std::size_t count, std::string_view item) {
    std::string out = repeat(std::string(item) + ".", count);
    out.pop_back();
    return out;
}

class PackedWordEdge : public testing::TestWithParam<EdgeCase> {};

TEST_P(PackedWordEdge, ParsedListComesBackWhole) {
    const EdgeCase& c = GetParam();
    for (const bool placed : {false, true}) {
        Site site;
        Version v;
        if (placed) {
            ASSERT_FALSE(match_at<Version>(c.text, site).has_value());
            v = site.built();
            site.built().~Version();
        } else {
            ASSERT_FALSE(parse_into(c.text, v).has_value());
        }
        EXPECT_EQ(to_text(v), c.text);
        std::size_t items = 0;
        v.visit([&](const auto& kind) {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, SemVer>) {
                items = kind.rc().value_or(ListView()).size() + kind.meta().value_or(ListView()).size();
            } else if constexpr (std::is_same_v<Kind, DotSeparated>) {
                items = kind.parts().size();
            }
        });
        EXPECT_EQ(items, c.items);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PackedWordEdge,
    testing::Values(EdgeCase{"bytes_65535", std::string(65535, 'a'), 1},
                    EdgeCase{"bytes_65536", std::string(65536, 'a'), 1},
                    EdgeCase{"items_65535", items_of(65535, "1"), 65535},
                    EdgeCase{"items_65536", items_of(65536, "1"), 65536},
                    EdgeCase{"items_65535_over_two_lists", "1.2.3-" + items_of(32768, "r") + "+" + items_of(32767, "b"),
                             65535},
                    EdgeCase{"items_65536_over_two_lists", "1.2.3-" + items_of(32768, "r") + "+" + items_of(32768, "b"),
                             65536},
                    EdgeCase{"bytes_65536_over_two_lists",
                             "1.2.3-" + std::string(40000, 'r') + "+" + std::string(25536, 'b'), 2}),
    [](const auto& info) { return std::string(info.param.name); });

// Disagreements between the code that sizes a block and the code that fills,
// places or keeps it: a part count off the dots of its range (counts of 0
// and 1 included) or past its bytes (which would wrap the size of the block),
// a range outside its text or running into the next list, a block one byte
// larger than its memory or its room, room out of alignment, a copy of a
// block whose last end is wrong, a value moved away from the room that holds
// its block. Each ends the process with the fault report, in every build,
// before a byte is written past the block, read past it, or a pointer
// outlives its memory.
struct DisagreementCase {
    const char* name;
    void (*plant)();
    const char* fault;
};

// The lists of "a.b.c" as a range [0, end) of `count` parts.
void build_from_range(std::size_t end, std::size_t count) {
    const DottedRange range{0, end, count};
    PackedLists<1> lists(MatchedLists<1>("a.b.c", {&range}, 1), BlockRoom());
}

// The lists of "1.2.3-a.b.c+x.y.z", the pre-release range ending on the "+".
void build_with_overlapping_ranges() {
    const DottedRange rc{6, 12, 3};
    const DottedRange meta{12, 17, 3};
    PackedLists<2> lists(MatchedLists<2>("1.2.3-a.b.c+x.y.z", {&rc, &meta}, 3), BlockRoom());
}

// A block sized one byte short of what its lists write, on the heap.
void build_one_byte_short() {
    const DottedRange range{0, 5, 3};
    const MatchedLists<1> matched("a.b.c", {&range}, 1);
    detail::BlockSize size = matched.size;
    --size.bytes_total;
    const std::uintptr_t word = detail::BlockLayout::build("a.b.c", matched.lists, matched.present, size, BlockRoom());
    detail::BlockLayout::release(reinterpret_cast<void*>(word & ~detail::BlockLayout::flag_mask));
}

void build_in_room(std::size_t short_by, std::size_t misaligned_by) {
    Site site;
    site.short_by = short_by;
    site.misaligned_by = misaligned_by;
    (void)match_at<SemVer>("1.2.3-rc.1", site);
}

void copy_with_a_wrong_last_end() {
    Site site;
    (void)match_at<SemVer>("1.2.3-rc.1", site);
    // The length, two counts and the first end come before the last end.
    std::uint16_t last_end = 0;
    std::memcpy(&last_end, site.room + 10, sizeof last_end);
    ++last_end;
    std::memcpy(site.room + 10, &last_end, sizeof last_end);
    const SemVer copy = *std::launder(reinterpret_cast<SemVer*>(site.value));
}

void move_out_of_room() {
    Site site;
    (void)match_at<SemVer>("1.2.3-rc.1", site);
    SemVer moved = std::move(*std::launder(reinterpret_cast<SemVer*>(site.value)));
}

class PackedDeathTest : public testing::TestWithParam<DisagreementCase> {};

TEST_P(PackedDeathTest, EndsWithTheFaultReport) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(GetParam().plant(), std::string("internal fault .*") + GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(
    Plants, PackedDeathTest,
    testing::Values(
        DisagreementCase{"count_one_short", [] { build_from_range(5, 2); }, "more dots than its part count"},
        DisagreementCase{"count_one_long", [] { build_from_range(5, 4); }, "fewer dots than its part count"},
        DisagreementCase{"count_one_for_two_items", [] { build_from_range(3, 1); }, "more dots than its part count"},
        DisagreementCase{"count_zero_over_bytes", [] { build_from_range(1, 0); }, "does not fit its text"},
        DisagreementCase{"count_past_the_bytes", [] { build_from_range(1, 3); }, "does not fit its text"},
        DisagreementCase{"range_past_its_text", [] { build_from_range(6, 3); }, "does not fit its text"},
        DisagreementCase{"range_into_the_next_list", build_with_overlapping_ranges, "does not fit its text"},
        DisagreementCase{"block_one_byte_short", build_one_byte_short, "larger than the memory given for it"},
        DisagreementCase{"room_one_byte_short", [] { build_in_room(1, 0); }, "larger than the memory given for it"},
        DisagreementCase{"room_out_of_alignment", [] { build_in_room(0, 1); }, "not 16-byte aligned"},
        DisagreementCase{"copy_of_a_wrong_last_end", copy_with_a_wrong_last_end, "disagree with its length"},
        DisagreementCase{"moved_out_of_its_room", move_out_of_room, "moved away from the memory"}),
    [](const auto& info) { return std::string(info.param.name); });

// The words of a block's counts and offsets: 16-bit up to 65,535 items and
// 65,535 item bytes, both included; 32-bit beyond. Offsets are 32-bit at most:
// lists of 4 GiB or more are refused rather than cut.
enum class Words { narrow, wide, too_long };

struct LimitCase {
    const char* name;
    std::size_t items;
    std::size_t bytes;
    Words words;
};

class PackedLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(PackedLimits, SizeTakesTheWordsThatFit) {
    using detail::BlockLayout;
    const LimitCase& c = GetParam();
    if (c.words == Words::too_long) {
        EXPECT_THROW(BlockLayout::size_of(2, c.items, c.bytes), std::length_error);
        return;
    }
    EXPECT_EQ(BlockLayout::size_of(2, c.items, c.bytes).narrow, c.words == Words::narrow);
}

constexpr std::size_t four_gib = std::size_t{1} << 32;

INSTANTIATE_TEST_SUITE_P(
    Words, PackedLimits,
    testing::Values(LimitCase{"bytes_65535", 1, 0xFFFF, Words::narrow}, LimitCase{"bytes_65536", 1, 0x10000, Words::wide},
                    LimitCase{"items_65535", 0xFFFF, 0, Words::narrow},
                    LimitCase{"items_65536", 0x10000, 0, Words::wide},
                    LimitCase{"bytes_4_gib_less_one", 1, four_gib - 1, Words::wide},
                    LimitCase{"bytes_4_gib", 1, four_gib, Words::too_long},
                    LimitCase{"items_4_gib", four_gib, 0, Words::too_long}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorna
