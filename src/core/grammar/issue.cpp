#include "core/grammar/issue.hpp"

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
    switch (kind) {
        case Kind::Token:
            out.push_back('\'');
            utf8::append(out, visible_form(token));
            out.push_back('\'');
            return;
        case Kind::Label: out.append(text); return;
        case Kind::EndOfInput: out.append("end of input"); return;
    }
}

void ParseIssue::append_sentence(std::string& out) const {
    if (const auto* message = std::get_if<std::string>(&reason)) {
        out.append(*message);
        return;
    }
    const auto& ef = std::get<ExpectedFound>(reason);
    out.append("found ");
    if (ef.found) {
        Expectation::token_of(*ef.found).render(out);
    } else {
        out.append("end of input");
    }
    out.append(" expected ");
    const auto& list = ef.expected;
    if (list.empty()) {
        out.append("something else");
        return;
    }
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        list[i].render(out);
        out.append(", ");
    }
    if (list.size() > 1) out.append("or ");
    list.back().render(out);
}

}  // namespace vorna
