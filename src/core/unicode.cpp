// TEMPORARY ASCII-only placeholder until the generated tables land.
#include "core/unicode.hpp"

namespace vorna::unicode {

bool is_xid_start(char32_t c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c > 0x7F; }
bool is_xid_continue(char32_t c) noexcept { return is_xid_start(c) || (c >= '0' && c <= '9') || c == '_'; }
bool is_grapheme_extend(char32_t c) noexcept { return c >= 0x300 && c <= 0x36F; }
bool is_printable(char32_t c) noexcept { return c >= 0x20 && c != 0x7F; }
int display_width(char32_t c) noexcept { return c < 0x20 ? 0 : 1; }

}  // namespace vorna::unicode
