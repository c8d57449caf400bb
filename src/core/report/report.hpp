// The multi-line diagnostic report of a parse failure, carried back to the
// caller by ParseError.
//
// A report is laid out first (lines located, labels placed) and drawn
// after, by one drawing into any of the text sinks: measured, or drafted in
// scratch while measured, so that storage of its final length and width can
// be had at once, then written or copied as UTF-8 or into code units of one
// width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/grammar/issue.hpp"
#include "core/report/draft_sink.hpp"
#include "core/report/short_list.hpp"
#include "core/report/source.hpp"
#include "core/unicode/text_sink.hpp"

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

// The report of `issues` over `text`, named by `source_id`, laid out and
// ready to be written. It refers to all three, which must outlive it.
// Laying out allocates (std::bad_alloc); writing does not, except as UTF-8
// into a std::string.
class ReportLayout {
public:
    ReportLayout(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues, bool colour);

    // The length in characters, the widest character and the UTF-8 size,
    // found by drawing the report into a counter.
    TextMeasure measure() const noexcept;
    // Draws the report into `out`, storage made from measure(): its length,
    // in a unit that holds `widest`, the measured widest character. A
    // drawing that does not fill it exactly, or that takes another widest
    // character, is an internal fault, caught before a unit lands past the
    // end.
    void write(std::span<std::uint8_t> out, char32_t widest) const noexcept;
    void write(std::span<std::uint16_t> out, char32_t widest) const noexcept;
    void write(std::span<std::uint32_t> out, char32_t widest) const noexcept;
    // The report as UTF-8.
    std::string utf8() const;
    // Draws the report into a draft (see DraftSink), which also measures
    // what storage of code units is made from: the length and the widest
    // character, without the UTF-8 size.
    void draft(DraftSink& out) const noexcept;

private:
    // One issue placed beneath the quoted text: the line it is drawn under
    // and the display columns its span covers on that line, end past start.
    struct PlacedLabel {
        const ParseIssue* issue;
        std::size_t line;
        std::size_t start_column;
        std::size_t end_column;
        std::uint8_t colour;

        std::size_t marker_column() const noexcept { return start_column + (end_column - start_column - 1) / 2; }
    };

    // Also finds the character column of the issue's start on the same walk.
    PlacedLabel place(const ParseIssue& issue, std::uint8_t colour, std::size_t& start_character) const;
    template <class Sink> void draw(Sink& out) const;
    template <class Unit> void write_units(std::span<Unit> out, char32_t widest) const noexcept;
    template <class Sink> void frame(Sink& out, char32_t glyph) const;
    template <class Sink> void source_row(Sink& out, std::size_t index) const;
    template <class Sink> void label_rows(Sink& out, const PlacedLabel& label) const;

    std::string_view source_id_;
    bool source_id_ascii_ = false;
    ReportSource source_;
    // The parsers report one issue at a time.
    ShortList<PlacedLabel, 1> labels_;
    std::optional<SourcePosition> location_;
    std::size_t width_ = 1;  // digits of the widest line number shown
    bool colour_ = false;
    // When set, the text written in place of the report: a piece that would
    // make it malformed UTF-8, or no issue at all.
    std::string fallback_;
};

// A failed parse whose report is not written yet. It refers to the parsed
// text and the source id, which must outlive it.
struct ParseFailure {
    std::string_view text;
    std::string_view source_id;
    ParseIssue issue;

    // Laid out with colour as the process decided.
    ReportLayout layout() const;
    // Written as UTF-8.
    ParseError to_error() const;
};

// Renders the report for `issues` (never empty) over `text`, naming the
// source `source_id`, with colour as the process decided. Runs out of memory
// with std::bad_alloc, like the rest of the core.
ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues);
// The same with the colour decision given explicitly.
ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues,
                                bool colour);

}  // namespace vorna
