// The record of a parse failure and the sentence that describes it: what the
// grammars hand back when a text does not fit.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vorna {

// One item that would have been accepted where a parse failed.
struct Expectation {
    // The kinds the grammars produce.
    enum class Kind : unsigned char { Token, Label, EndOfInput };

    Kind kind = Kind::EndOfInput;
    char32_t token = 0;     // Kind::Token
    std::string_view text;  // Kind::Label: a view; the grammars' labels are static texts

    static constexpr Expectation token_of(char32_t c) noexcept { return {Kind::Token, c, {}}; }
    // `t` must outlive the expectation.
    static constexpr Expectation label(std::string_view t) noexcept { return {Kind::Label, 0, t}; }
    static constexpr Expectation end_of_input() noexcept { return {Kind::EndOfInput, 0, {}}; }

    // 'x' for a token (named as write_shown names it), the text for a label,
    // "end of input".
    void render(std::string& out) const;

    friend bool operator==(const Expectation&, const Expectation&) = default;
};

// How the quoted line of a report shows, in one column, a character that
// must not reach a terminal as it is: a control character as its control
// picture (U+2400 to U+241F, U+2421 for DEL), any other character that is
// not printable (a line or paragraph separator, a direction or other format
// character, an unassigned one) as U+FFFD. White space and printable
// characters are shown as themselves, and so is a value that is no Unicode
// scalar (it cannot be written as UTF-8).
char32_t visible_form(char32_t c) noexcept;

// How the sentence names a character it shows in quotes, so that a reader
// can tell what was found: a printable character as itself; a control
// character as its control picture ("␊" for a line feed), except tab, "\t";
// any other character that the debug form escapes (white space but the
// space, format and direction characters, line and paragraph separators,
// combining marks, unassigned code points, values that are no Unicode scalar)
// as the debug form writes it, "\u{200b}".
inline constexpr std::size_t max_sentence_escape = sizeof("\\u{ffffffff}") - 1;
// Writes the escape of `c` at `out` (room for max_sentence_escape bytes) and
// returns its length, or returns 0 when `c` is shown as a character, its
// visible_form.
std::size_t sentence_escape(char32_t c, char* out) noexcept;

template <class Sink> void write_shown(Sink& out, char32_t c) {
    if (c >= 0x20 && c < 0x7F) [[likely]] {
        out.put(c);
        return;
    }
    char escape[max_sentence_escape];
    if (const std::size_t length = sentence_escape(c, escape)) {
        out.ascii(std::string_view(escape, length));
    } else {
        out.put(visible_form(c));
    }
}

// What was found at the failure point and what would have been accepted.
struct ExpectedFound {
    std::optional<char32_t> found;  // absent at the end of the text
    std::vector<Expectation> expected;
};

// One parse failure over a byte span of the parsed text.
struct ParseIssue {
    std::size_t span_start = 0;
    std::size_t span_end = 0;
    // Either expected/found, or a free message shown as it stands.
    std::variant<ExpectedFound, std::string> reason;

    // "found 'x' expected integer", or the free message.
    void append_sentence(std::string& out) const;
    std::string sentence() const {
        std::string out;
        append_sentence(out);
        return out;
    }
};

// The pieces of an expectation and of a sentence, written into any text
// sink (see core/unicode/text_sink.hpp): the one definition of both texts.
template <class Sink> void write_expectation(Sink& out, const Expectation& e) {
    switch (e.kind) {
        case Expectation::Kind::Token:
            out.ascii("'");
            write_shown(out, e.token);
            out.ascii("'");
            return;
        case Expectation::Kind::Label: out.utf8(e.text); return;
        case Expectation::Kind::EndOfInput: out.ascii("end of input"); return;
    }
}

template <class Sink> void write_sentence(Sink& out, const ParseIssue& issue) {
    if (const auto* message = std::get_if<std::string>(&issue.reason)) {
        out.utf8(*message);
        return;
    }
    const auto& ef = std::get<ExpectedFound>(issue.reason);
    out.ascii("found ");
    if (ef.found) {
        write_expectation(out, Expectation::token_of(*ef.found));
    } else {
        out.ascii("end of input");
    }
    out.ascii(" expected ");
    const auto& list = ef.expected;
    if (list.empty()) {
        out.ascii("something else");
        return;
    }
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        write_expectation(out, list[i]);
        out.ascii(", ");
    }
    if (list.size() > 1) out.ascii("or ");
    write_expectation(out, list.back());
}

}  // namespace vorna
