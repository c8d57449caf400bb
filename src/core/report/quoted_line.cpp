#include "core/report/quoted_line.hpp"

#include <algorithm>

#include "core/grammar/issue.hpp"
#include "core/unicode/unicode.hpp"

namespace vorna::quoted_line {

namespace {

constexpr std::size_t tab_width = 4;

}  // namespace

Cell cell_of(char32_t c, std::size_t column) noexcept {
    if (c == U'\t') return {U' ', tab_width - column % tab_width};
    if (unicode::is_blank(c)) return {U' ', 1};
    if (const char32_t shown = visible_form(c); shown != c) return {shown, 1};
    return {c, static_cast<std::size_t>(std::max(unicode::display_width(c), 0))};
}

// A lead byte always starts a character as the forward walk decodes it, so a
// blank found walking back is one it would find.
std::size_t shown_end(std::string_view content) noexcept {
    std::size_t end = content.size();
    while (end > 0) {
        const auto last = static_cast<unsigned char>(content[end - 1]);
        if (last == ' ' || last == '\t') {
            --end;
            continue;
        }
        if (last < 0x80) break;
        std::size_t start = end - 1;
        while (start > 0 && end - start < 4 && (static_cast<unsigned char>(content[start]) & 0xC0) == 0x80) --start;
        const utf8::Decoded d = utf8::decode(content, start);
        if (start + d.length != end || !unicode::is_blank(d.scalar)) break;
        end = start;
    }
    return end;
}

}  // namespace vorna::quoted_line
