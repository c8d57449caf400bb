#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/unicode/unicode.hpp"
#include "core/unicode/utf8.hpp"

namespace {

using namespace vorna::unicode;

std::string hex_name(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U%04X", static_cast<unsigned>(c));
    return buf;
}

// Expected properties of one code point, read off the Unicode Character
// Database. The code points are chosen so that their values have not changed
// between Unicode versions.
struct CodePointCase {
    char32_t c;
    bool xid_start;
    bool xid_continue;
    bool grapheme_extend;
    bool printable;
    int width;
};

void PrintTo(const CodePointCase& k, std::ostream* os) { *os << hex_name(k.c); }

class UnicodeCodePoint : public testing::TestWithParam<CodePointCase> {};

TEST_P(UnicodeCodePoint, AllProperties) {
    const CodePointCase& k = GetParam();
    EXPECT_EQ(is_xid_start(k.c), k.xid_start);
    EXPECT_EQ(is_xid_continue(k.c), k.xid_continue);
    EXPECT_EQ(is_grapheme_extend(k.c), k.grapheme_extend);
    EXPECT_EQ(is_printable(k.c), k.printable);
    EXPECT_EQ(display_width(k.c), k.width);
}

constexpr bool Y = true;
constexpr bool N = false;

// Columns: code point, XID_Start, XID_Continue, Grapheme_Extend, printable, width.
INSTANTIATE_TEST_SUITE_P(
    UnicodeKnown, UnicodeCodePoint,
    testing::Values(
        // ASCII
        CodePointCase{U'A', Y, Y, N, Y, 1}, CodePointCase{U'z', Y, Y, N, Y, 1},
        CodePointCase{U'0', N, Y, N, Y, 1}, CodePointCase{U'9', N, Y, N, Y, 1},
        CodePointCase{U'_', N, Y, N, Y, 1}, CodePointCase{U'-', N, N, N, Y, 1},
        CodePointCase{U'.', N, N, N, Y, 1}, CodePointCase{U' ', N, N, N, Y, 1},
        CodePointCase{U'~', N, N, N, Y, 1}, CodePointCase{0x0000, N, N, N, N, 0},
        CodePointCase{U'\t', N, N, N, N, 0}, CodePointCase{U'\n', N, N, N, N, 0},
        CodePointCase{0x007F, N, N, N, N, 0},
        // C1 controls, the first code points past the ASCII fast path
        CodePointCase{0x0080, N, N, N, N, 0}, CodePointCase{0x009F, N, N, N, N, 0},
        // Latin-1 and general punctuation
        CodePointCase{0x00A0, N, N, N, N, 1},  // NO-BREAK SPACE, Zs
        CodePointCase{0x00AD, N, N, N, N, 0},  // SOFT HYPHEN, Cf
        CodePointCase{0x00B7, N, Y, N, Y, 1},  // MIDDLE DOT, continue only
        CodePointCase{0x00E9, Y, Y, N, Y, 1},  // e with acute
        CodePointCase{0x0378, N, N, N, N, 1},  // unassigned
        CodePointCase{0x037A, N, N, N, Y, 1},  // GREEK YPOGEGRAMMENI: ID_Start but not XID_Start
        CodePointCase{0x0660, N, Y, N, Y, 1},  // ARABIC-INDIC DIGIT ZERO, Nd
        CodePointCase{0x2160, Y, Y, N, Y, 1},  // ROMAN NUMERAL ONE, Nl
        CodePointCase{0x212E, Y, Y, N, Y, 1},  // ESTIMATED SYMBOL, Other_ID_Start
        CodePointCase{0x200B, N, N, N, N, 0},  // ZERO WIDTH SPACE
        CodePointCase{0x202E, N, N, N, N, 0},  // RIGHT-TO-LEFT OVERRIDE, Cf
        CodePointCase{0x2028, N, N, N, N, 1},  // LINE SEPARATOR, Zl
        CodePointCase{0x2029, N, N, N, N, 1},  // PARAGRAPH SEPARATOR, Zp
        CodePointCase{0x3000, N, N, N, N, 2},  // IDEOGRAPHIC SPACE, Zs and Fullwidth
        CodePointCase{0xFEFF, N, N, N, N, 0},  // ZERO WIDTH NO-BREAK SPACE, Cf
        // Marks
        CodePointCase{0x0301, N, Y, Y, Y, 0},  // COMBINING ACUTE ACCENT, Mn
        CodePointCase{0x0488, N, N, Y, Y, 0},  // COMBINING CYRILLIC HUNDRED THOUSANDS SIGN, Me
        CodePointCase{0x0903, N, Y, N, Y, 1},  // DEVANAGARI SIGN VISARGA, Mc: spacing
        CodePointCase{0x302A, N, Y, Y, Y, 0},  // IDEOGRAPHIC LEVEL TONE MARK: Mn and Wide, zero wins
        CodePointCase{0x3099, N, Y, Y, Y, 0},  // COMBINING KATAKANA-HIRAGANA VOICED SOUND MARK
        CodePointCase{0x309B, N, N, N, Y, 2},  // KATAKANA-HIRAGANA VOICED SOUND MARK, Sk: not XID
        CodePointCase{0xFE0F, N, Y, Y, Y, 0},  // VARIATION SELECTOR-16
        CodePointCase{0xFF9E, N, Y, Y, Y, 1},  // HALFWIDTH KATAKANA VOICED SOUND MARK, Lm
        CodePointCase{0xE0100, N, Y, Y, Y, 0}, // VARIATION SELECTOR-17
        CodePointCase{0xE0001, N, N, N, N, 0}, // LANGUAGE TAG, Cf
        // Hangul: leading consonants are wide, vowels and trailing consonants conjoin
        CodePointCase{0x1100, Y, Y, N, Y, 2}, CodePointCase{0x115F, Y, Y, N, Y, 2},
        CodePointCase{0x1160, Y, Y, N, Y, 0}, CodePointCase{0x11A8, Y, Y, N, Y, 0},
        CodePointCase{0x11FF, Y, Y, N, Y, 0}, CodePointCase{0xD7B0, Y, Y, N, Y, 0},
        CodePointCase{0xD7FB, Y, Y, N, Y, 0},
        CodePointCase{0xAC00, Y, Y, N, Y, 2},  // first precomposed syllable
        CodePointCase{0xD7A3, Y, Y, N, Y, 2},  // last precomposed syllable
        CodePointCase{0xD7A4, N, N, N, N, 1},  // unassigned, just past them
        // CJK
        CodePointCase{0x3001, N, N, N, Y, 2},   // IDEOGRAPHIC COMMA
        CodePointCase{0x3400, Y, Y, N, Y, 2},   // extension A
        CodePointCase{0x4E00, Y, Y, N, Y, 2}, CodePointCase{0x9FA5, Y, Y, N, Y, 2},
        CodePointCase{0xFA6E, N, N, N, N, 2},   // unassigned in CJK Compatibility Ideographs: Wide
        CodePointCase{0x20000, Y, Y, N, Y, 2},  // extension B
        CodePointCase{0x2FFFD, N, N, N, N, 2},  // unassigned in plane 2: Wide by default
        CodePointCase{0xFF21, Y, Y, N, Y, 2},   // FULLWIDTH LATIN CAPITAL LETTER A
        CodePointCase{0xFF61, N, N, N, Y, 1},   // HALFWIDTH IDEOGRAPHIC FULL STOP
        // Symbols
        CodePointCase{0xFFFD, N, N, N, Y, 1},   // REPLACEMENT CHARACTER
        CodePointCase{0x1F600, N, N, N, Y, 2},  // GRINNING FACE
        // Surrogates, private use, noncharacters
        CodePointCase{0xD800, N, N, N, N, 1}, CodePointCase{0xDFFF, N, N, N, N, 1},
        CodePointCase{0xE000, N, N, N, N, 1}, CodePointCase{0xF8FF, N, N, N, N, 1},
        CodePointCase{0xF0000, N, N, N, N, 1}, CodePointCase{0x10FFFD, N, N, N, N, 1},
        CodePointCase{0xFFFE, N, N, N, N, 1}, CodePointCase{0x10FFFF, N, N, N, N, 1},
        // Not Unicode scalar values at all
        CodePointCase{0x110000, N, N, N, N, 1}, CodePointCase{0xFFFFFFFF, N, N, N, N, 1}),
    [](const testing::TestParamInfo<CodePointCase>& info) { return hex_name(info.param.c); });

// A whole block or range that shares its properties, so that every code point
// inside it is checked, not only its ends. Large blocks are given as
// <..., First>/<..., Last> ranges in UnicodeData.txt.
struct RangeCase {
    const char* name;
    char32_t first;
    char32_t last;
    bool xid_start;
    bool printable;
    int width;
};

void PrintTo(const RangeCase& k, std::ostream* os) { *os << k.name; }

class UnicodeRange : public testing::TestWithParam<RangeCase> {};

TEST_P(UnicodeRange, EveryCodePointAgrees) {
    const RangeCase& k = GetParam();
    int mismatches = 0;
    for (char32_t c = k.first; c <= k.last && mismatches < 5; ++c) {
        const bool ok = is_xid_start(c) == k.xid_start && is_printable(c) == k.printable &&
                        display_width(c) == k.width;
        if (!ok) {
            ++mismatches;
            ADD_FAILURE() << "at " << hex_name(c);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    UnicodeBlocks, UnicodeRange,
    testing::Values(RangeCase{"CjkExtensionA", 0x3400, 0x4DB5, Y, Y, 2},
                    RangeCase{"CjkUnified", 0x4E00, 0x9FA5, Y, Y, 2},
                    RangeCase{"HangulSyllables", 0xAC00, 0xD7A3, Y, Y, 2},
                    RangeCase{"HangulConjoiningJamo", 0x1160, 0x11FF, Y, Y, 0},
                    RangeCase{"CjkExtensionB", 0x20000, 0x2A6D6, Y, Y, 2},
                    RangeCase{"Tangut", 0x17000, 0x187EC, Y, Y, 2},
                    RangeCase{"Surrogates", 0xD800, 0xDFFF, N, N, 1},
                    RangeCase{"PrivateUse", 0xE000, 0xF8FF, N, N, 1},
                    RangeCase{"SupplementaryPrivateUseB", 0x100000, 0x10FFFD, N, N, 1},
                    RangeCase{"CombiningDiacriticals", 0x0300, 0x036F, N, Y, 0},
                    RangeCase{"C1Controls", 0x0080, 0x009F, N, N, 0},
                    RangeCase{"BeyondUnicode", 0x110000, 0x11FFFF, N, N, 1}),
    [](const testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

// Identifier characters: every XID_Start character also continues an
// identifier, across the whole code space.
TEST(UnicodeIdentifier, XidStartImpliesXidContinue) {
    int mismatches = 0;
    for (char32_t c = 0; c <= 0x10FFFF && mismatches < 5; ++c) {
        if (is_xid_start(c) && !is_xid_continue(c)) {
            ++mismatches;
            ADD_FAILURE() << "XID_Start without XID_Continue at " << hex_name(c);
        }
    }
}

// The ASCII run ends at the first byte of 0x80 or above, wherever the word
// steps leave it, and never reaches past the end it is given.
TEST(Utf8, SkipAsciiStopsAtTheFirstHighByte) {
    for (std::size_t size = 0; size <= 41; ++size) {
        for (std::size_t high = 0; high <= size; ++high) {
            std::string text(size + 1, 'a');
            text[high] = '\xC3';  // at `size`: just past the end
            for (const std::size_t from : {std::size_t(0), std::size_t(1), size / 2}) {
                if (from > size) continue;
                EXPECT_EQ(vorna::utf8::skip_ascii(text, from, size), high < from ? size : high)
                    << "size " << size << ", high byte at " << high << ", from " << from;
            }
        }
    }
}

}  // namespace
