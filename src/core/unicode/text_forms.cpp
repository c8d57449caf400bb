// The unicode stage: UTF-8 decoding, the generated Unicode property tables,
// the text sinks a report is drawn into, decimal numbers and quoted texts.
// This file writes the quoted texts of the debug forms.

#include "core/unicode/text_forms.hpp"

#include <algorithm>

#include "core/unicode/unicode.hpp"

namespace vorna {

namespace {

void append_escaped_scalar(std::string& out, char32_t c) {
    static constexpr char hex[] = "0123456789abcdef";
    out.append("\\u{");
    int shift = 20;
    while (shift > 0 && ((c >> shift) & 0xF) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) out.push_back(hex[(c >> shift) & 0xF]);
    out.push_back('}');
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
    out.push_back('"');
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Runs of printable ASCII other than the two quoted characters are
        // copied in one go.
        const std::string_view printable = text.substr(pos, utf8::skip_printable_ascii(text, pos, text.size()) - pos);
        const std::size_t run = std::min(printable.find_first_of("\"\\"), printable.size());
        out.append(printable.substr(0, run));
        pos += run;
        if (pos == text.size()) break;

        const utf8::Decoded d = utf8::decode(text, pos);
        switch (d.scalar) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\t': out.append("\\t"); break;
            case '\r': out.append("\\r"); break;
            case '\n': out.append("\\n"); break;
            case 0: out.append("\\0"); break;
            default:
                if (utf8::is_malformed(d)) {
                    out.append("\xEF\xBF\xBD");
                } else if (unicode::is_grapheme_extend(d.scalar) || !unicode::is_printable(d.scalar)) {
                    append_escaped_scalar(out, d.scalar);
                } else {
                    out.append(text, pos, d.length);
                }
        }
        pos += d.length;
    }
    out.push_back('"');
}

}  // namespace vorna
