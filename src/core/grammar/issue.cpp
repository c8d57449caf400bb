#include "core/grammar/issue.hpp"

#include "core/unicode/text_sink.hpp"
#include "core/unicode/unicode.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {

char32_t visible_form(char32_t c) noexcept {
    if (c < 0x20) return c == U'\t' ? c : char32_t(0x2400 + c);  // the control pictures
    if (c < 0x7F) return c;
    if (c == 0x7F) return 0x2421;
    if (!utf8::is_scalar(c) || unicode::is_blank(c) || unicode::is_printable(c)) return c;
    return utf8::replacement;
}

std::size_t sentence_escape(char32_t c, char* out) noexcept {
    if (c == U'\t') {
        out[0] = '\\';
        out[1] = 't';
        return 2;
    }
    if (c < 0x20 || c == 0x7F) return 0;  // the control pictures
    if (unicode::is_printable(c) && !unicode::is_grapheme_extend(c)) return 0;
    static constexpr char hex[] = "0123456789abcdef";
    std::size_t length = 0;
    out[length++] = '\\';
    out[length++] = 'u';
    out[length++] = '{';
    int shift = 28;
    while (shift > 0 && ((c >> shift) & 0xF) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) out[length++] = hex[(c >> shift) & 0xF];
    out[length++] = '}';
    return length;
}

void Expectation::render(std::string& out) const {
    Utf8Sink sink(out);
    write_expectation(sink, *this);
}

void ParseIssue::append_sentence(std::string& out) const {
    Utf8Sink sink(out);
    write_sentence(sink, *this);
}

}  // namespace vorna
