#include "core/unicode/unicode.hpp"

#include <algorithm>
#include <span>

namespace vorna::unicode {
namespace {

// An inclusive range of code points.
struct CodePointRange {
    char32_t first;
    char32_t last;
};

#include "core/unicode/unicode_tables.inc"

// True when `c` lies in one of the sorted, disjoint ranges of `table`.
constexpr bool in_table(std::span<const CodePointRange> table, char32_t c) noexcept {
    // The first range that does not end before `c` is the only one that can hold it.
    const auto it = std::lower_bound(table.begin(), table.end(), c,
                                     [](const CodePointRange& r, char32_t v) { return r.last < v; });
    return it != table.end() && it->first <= c;
}

constexpr bool sorted_and_disjoint(std::span<const CodePointRange> table) noexcept {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].first > table[i].last || table[i].last > 0x10FFFF) return false;
        if (i > 0 && table[i - 1].last >= table[i].first) return false;
    }
    return true;
}

static_assert(sorted_and_disjoint(xid_start_ranges));
static_assert(sorted_and_disjoint(xid_continue_ranges));
static_assert(sorted_and_disjoint(grapheme_extend_ranges));
static_assert(sorted_and_disjoint(printable_ranges));
static_assert(sorted_and_disjoint(zero_width_ranges));
static_assert(sorted_and_disjoint(wide_ranges));

// ASCII answers, taken before any table lookup.
using unicode::ascii_xid_continue;
using unicode::ascii_xid_start;
constexpr bool ascii_printable(char32_t c) noexcept { return c >= 0x20 && c < 0x7F; }
constexpr int ascii_width(char32_t c) noexcept { return ascii_printable(c) ? 1 : 0; }

constexpr int table_width(char32_t c) noexcept {
    if (in_table(zero_width_ranges, c)) return 0;
    if (in_table(wide_ranges, c)) return 2;
    return 1;
}

// The fast path must say exactly what the tables say.
constexpr bool ascii_fast_path_matches_tables() noexcept {
    for (char32_t c = 0; c < 0x80; ++c) {
        if (ascii_xid_start(c) != in_table(xid_start_ranges, c)) return false;
        if (ascii_xid_continue(c) != in_table(xid_continue_ranges, c)) return false;
        if (in_table(grapheme_extend_ranges, c)) return false;
        if (ascii_printable(c) != in_table(printable_ranges, c)) return false;
        if (ascii_width(c) != table_width(c)) return false;
    }
    return true;
}
static_assert(ascii_fast_path_matches_tables());

}  // namespace

// Values above U+10FFFF are in no table, so every lookup below answers them
// as it answers an unassigned code point.

bool is_xid_start(char32_t c) noexcept { return c < 0x80 ? ascii_xid_start(c) : in_table(xid_start_ranges, c); }

bool is_xid_continue(char32_t c) noexcept {
    return c < 0x80 ? ascii_xid_continue(c) : in_table(xid_continue_ranges, c);
}

bool is_grapheme_extend(char32_t c) noexcept { return c >= 0x80 && in_table(grapheme_extend_ranges, c); }

bool is_printable(char32_t c) noexcept { return c < 0x80 ? ascii_printable(c) : in_table(printable_ranges, c); }

int display_width(char32_t c) noexcept { return c < 0x80 ? ascii_width(c) : table_width(c); }

}  // namespace vorna::unicode
