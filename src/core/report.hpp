// The record of a parse failure, the sentence that describes it, and the
// multi-line diagnostic report carried back to the caller by ParseError.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vorna {

// One item that would have been accepted where a parse failed.
struct Expectation {
    enum class Kind : unsigned char { Token, Label, IdentifierText, Any, SomethingElse, EndOfInput };

    Kind kind = Kind::SomethingElse;
    char32_t token = 0;  // Kind::Token
    std::string text;    // Kind::Label and Kind::IdentifierText

    static Expectation token_of(char32_t c) { return {Kind::Token, c, {}}; }
    static Expectation label(std::string_view t) { return {Kind::Label, 0, std::string(t)}; }
    static Expectation identifier_text(std::string_view t) { return {Kind::IdentifierText, 0, std::string(t)}; }
    static Expectation any() { return {Kind::Any, 0, {}}; }
    static Expectation something_else() { return {Kind::SomethingElse, 0, {}}; }
    static Expectation end_of_input() { return {Kind::EndOfInput, 0, {}}; }

    // 'x' for a token (in its visible form), the text for a label, 'text'
    // for an identifier text, "any", "something else", "end of input".
    void render(std::string& out) const;

    friend bool operator==(const Expectation&, const Expectation&) = default;
};

// How a report shows a character that must not reach a terminal as it is:
// a control character as its control picture (U+2400 to U+241F, U+2421 for
// DEL), any other character that is not printable (a line or paragraph
// separator, a direction or other format character, an unassigned one) as
// U+FFFD. White space and printable characters are shown as themselves, and
// so is a value that is no Unicode scalar (it cannot be written as UTF-8).
char32_t visible_form(char32_t c) noexcept;

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

// The error value of a failed parse: the report text, and a backtrace when
// one was captured.
class ParseError {
public:
    explicit ParseError(std::string message, std::string backtrace = {})
        : message_(std::move(message)), backtrace_(std::move(backtrace)) {}

    const std::string& message() const noexcept { return message_; }
    const std::string& backtrace() const noexcept { return backtrace_; }
    // The message, then a blank line, "Stack backtrace:" and the trace when
    // one was captured. This is the text Python exceptions carry.
    std::string debug_form() const;

private:
    std::string message_;
    std::string backtrace_;
};

// Whether reports written now carry ANSI colour: decided once per process
// from CLICOLOR_FORCE, CLICOLOR, NO_COLOR, TERM and whether standard error
// is a terminal; the first decision stored wins.
bool report_colour_enabled() noexcept;

// Renders the report for `issues` (never empty) over `text`, naming the
// source `source_id`, with colour as the process decided.
ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues);
// The same with the colour decision given explicitly.
ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues,
                                bool colour);

}  // namespace vorna
