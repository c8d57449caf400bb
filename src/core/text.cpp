#include "core/text.hpp"

#include <charconv>

#include "core/unicode.hpp"
#include "core/utf8.hpp"

namespace vorna {

void append_joined(std::string& out, const TextList& list) {
    bool first = true;
    for (const Text& t : list) {
        if (!first) out.push_back('.');
        out.append(t);
        first = false;
    }
}

void append_decimal(std::string& out, std::uint32_t n) {
    char digits[10];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    (void)ec;  // ten digits always hold an unsigned 32-bit number
    out.append(digits, end);
}

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
        // Runs of plain ASCII are copied in one go.
        std::size_t run = pos;
        while (run < text.size()) {
            const auto b = static_cast<unsigned char>(text[run]);
            if (b < 0x20 || b >= 0x7F || b == '"' || b == '\\') break;
            ++run;
        }
        out.append(text, pos, run - pos);
        pos = run;
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
                if (d.scalar == utf8::replacement && d.length == 1) {
                    out.append("\xEF\xBF\xBD");  // malformed byte: keep the output valid UTF-8
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

void append_quoted_list(std::string& out, const TextList& list) {
    out.push_back('[');
    bool first = true;
    for (const Text& t : list) {
        if (!first) out.append(", ");
        append_quoted(out, t);
        first = false;
    }
    out.push_back(']');
}

}  // namespace vorna
