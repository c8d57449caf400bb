// Unicode character properties used by the grammar, the debug form and the
// report layout. The data are compile-time tables generated from the Unicode
// Character Database by tools/gen_unicode_tables.py.
#pragma once

namespace vorna::unicode {

// XID_Start and XID_Continue of an ASCII character (below 0x80) as constant
// expressions: the ASCII answers of the lookups below, and the source of the
// grammar's byte classes, so the two cannot disagree. The generated tables
// are checked against them at compile time.
constexpr bool ascii_xid_start(char32_t c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool ascii_xid_continue(char32_t c) noexcept {
    return ascii_xid_start(c) || (c >= '0' && c <= '9') || c == '_';
}

// Derived property XID_Start.
bool is_xid_start(char32_t c) noexcept;
// Derived property XID_Continue.
bool is_xid_continue(char32_t c) noexcept;
// Property Grapheme_Extend (combining marks and friends).
bool is_grapheme_extend(char32_t c) noexcept;
// False for the characters a debug form must escape: general categories
// Cc, Cf, Cs, Co, Cn (unassigned), Zl, Zp and every Zs except U+0020 SPACE.
bool is_printable(char32_t c) noexcept;
// Columns the character takes on a terminal: 0 (combining and other
// zero-width characters, controls), 2 (East Asian Wide and Fullwidth) or 1.
int display_width(char32_t c) noexcept;

// True for the characters that end a line: LF, VT, FF, CR, NEL, LS and PS.
constexpr bool is_line_break(char32_t c) noexcept {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// True for white space other than the line breaks: a quoted line shows it as
// blank columns.
constexpr bool is_blank(char32_t c) noexcept {
    return c == U'\t' || c == U' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

}  // namespace vorna::unicode
