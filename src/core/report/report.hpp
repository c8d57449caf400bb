// The multi-line diagnostic report of a parse failure, carried back to the
// caller by ParseError.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/grammar/issue.hpp"

namespace vorna {

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

// Renders the report for `issues` (never empty) over `text`, naming the
// source `source_id`, with colour as the process decided.
ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues);
// The same with the colour decision given explicitly.
ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues,
                                bool colour);

}  // namespace vorna
