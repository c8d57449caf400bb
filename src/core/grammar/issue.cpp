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

void Expectation::render(std::string& out) const {
    Utf8Sink sink(out);
    write_expectation(sink, *this);
}

void ParseIssue::append_sentence(std::string& out) const {
    Utf8Sink sink(out);
    write_sentence(sink, *this);
}

}  // namespace vorna
