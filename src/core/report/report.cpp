// The diagnostic report of a failed parse: a header, the location, the quoted
// source line and, beneath it, each issue's span underlined and labelled with
// its sentence.
//
//   Error:
//      ╭─[ vorna::package::version::semver::SemVer:1:5 ]
//      │
//    1 │ 1.2.x
//      │     ┬
//      │     ╰── found 'x' expected integer
//   ───╯
#include "core/report/report.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/report/colour.hpp"
#include "core/report/quoted_line.hpp"
#include "core/report/source.hpp"
#include "core/report/unit_sink.hpp"
#include "core/unicode/text_sink.hpp"
#include "core/unicode/unicode.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {

namespace {

using quoted_line::cell_of;

// The frame's palette colour: a mid grey of the palette's grey ramp
// (232 to 255), which recedes behind the coloured labels on dark and light
// terminals alike.
constexpr std::uint8_t frame_colour = 246;

constexpr char32_t horizontal = U'─';
constexpr char32_t vertical = U'│';
constexpr char32_t vertical_gap = U'┆';
constexpr char32_t top_left = U'╭';
constexpr char32_t bottom_left = U'╰';
constexpr char32_t bottom_right = U'╯';
constexpr char32_t marker = U'┬';

// The bytes of a quoted line that are shown.
std::string_view shown_content(const ReportSource& source, std::size_t index) noexcept {
    const std::string_view full = source.content(index);
    return full.substr(0, quoted_line::shown_end(full));
}

// ANSI styles, written only when the report is in colour.
template <class Sink> void open_palette(Sink& out, bool colour, std::uint8_t index) {
    if (!colour) return;
    out.ascii("\x1b[38;5;");
    put_decimal(out, unsigned{index});
    out.ascii("m");
}
template <class Sink> void reset(Sink& out, bool colour) {
    if (colour) out.ascii("\x1b[0m");
}

// Whether the sentence of `issue` is certainly well-formed, told from its
// pieces where they lie: its own words are ASCII, and well-formed pieces
// joined stay well-formed. Only a doubtful sentence is drawn to find the
// offending byte.
bool sentence_well_formed(const ParseIssue& issue) noexcept {
    if (const auto* message = std::get_if<std::string>(&issue.reason)) return !utf8::first_malformed(*message);
    const auto& reason = std::get<ExpectedFound>(issue.reason);
    if (reason.found && !utf8::is_scalar(*reason.found)) return false;
    for (const Expectation& e : reason.expected) {
        switch (e.kind) {
            case Expectation::Kind::Token:
                if (!utf8::is_scalar(e.token)) return false;
                break;
            case Expectation::Kind::Label:
                if (utf8::first_malformed(e.text)) return false;
                break;
            default: break;
        }
    }
    return true;
}

// The quoted text is drawn with stand-ins for malformed bytes and every
// glyph is ours, so only the source id and the sentences, which are written
// as given, can make the report malformed. They are checked before the
// report is laid out, not the whole report after.
std::optional<std::string> malformed_piece(std::string_view source_id, bool source_id_ascii,
                                           std::span<const ParseIssue> issues) {
    if (const auto bad = source_id_ascii ? std::nullopt : utf8::first_malformed(source_id)) {
        std::string message = "Invalid UTF-8 string: malformed UTF-8 at byte ";
        append_decimal(message, *bad);
        message.append(" of the source id");
        return message;
    }
    std::string sentence;
    for (std::size_t i = 0; i < issues.size(); ++i) {
        if (sentence_well_formed(issues[i])) continue;
        sentence.clear();
        issues[i].append_sentence(sentence);
        if (const auto bad = utf8::first_malformed(sentence)) {
            std::string message = "Invalid UTF-8 string: malformed UTF-8 at byte ";
            append_decimal(message, *bad);
            message.append(" of the label of issue ");
            append_decimal(message, i + 1);
            return message;
        }
    }
    return std::nullopt;
}

// Only the lines up to the last one that holds an issue are shown.
std::size_t last_issue_start(std::string_view text, std::span<const ParseIssue> issues) noexcept {
    std::size_t until = 0;
    for (const ParseIssue& issue : issues) until = std::max(until, std::min(issue.span_start, text.size()));
    return until;
}

}  // namespace

ReportLayout::ReportLayout(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues,
                           bool colour)
    : source_id_(source_id), source_(text, last_issue_start(text, issues)), colour_(colour) {
    // The parsers always pass one issue; without any there is nothing to place.
    if (issues.empty()) {
        fallback_ = "Error: no parse issue was recorded\n";
        return;
    }
    source_id_ascii_ = utf8::skip_ascii(source_id, 0, source_id.size()) == source_id.size();
    if (auto message = malformed_piece(source_id, source_id_ascii_, issues)) {
        fallback_ = std::move(*message);
        return;
    }
    labels_.reserve(issues.size());
    ColourGenerator colours;
    std::size_t first_line = 0;
    std::size_t first_character = 0;
    for (std::size_t i = 0; i < issues.size(); ++i) {
        std::size_t character = 0;
        labels_.push_back(place(issues[i], colours.next(), character));
        if (i == 0) {
            first_line = labels_.back().line;
            first_character = character;
        }
    }
    // Quoted lines appear in text order; labels on one line in the order given.
    if (labels_.size() > 1) {
        std::stable_sort(labels_.begin(), labels_.end(),
                         [](const PlacedLabel& a, const PlacedLabel& b) { return a.line < b.line; });
    }
    width_ = decimal_size(labels_.back().line + 1);
    // The report is located at the first issue's start, which its placing
    // found; a start past the end of the text has no location.
    if (issues.front().span_start <= source_.text().size()) location_ = SourcePosition{first_line, first_character};
}

ReportLayout::PlacedLabel ReportLayout::place(const ParseIssue& issue, std::uint8_t colour,
                                              std::size_t& start_character) const {
    const std::string_view text = source_.text();
    // A span past the end of the text cannot be located (the report location
    // then reads "?"); it is drawn at the end so its sentence still shows. A
    // span that ends before it starts is the caller's fault; it is drawn empty.
    const std::size_t start = std::min(issue.span_start, text.size());
    const std::size_t end = std::clamp(issue.span_end, start, text.size());
    const std::size_t index = *source_.line_of(start);
    const SourceLine& line = source_.lines()[index];
    const std::size_t content_end = line.byte_offset + source_.content(index).size();

    std::size_t column = 0;
    std::size_t characters = 0;
    std::optional<std::size_t> start_column;
    for (std::size_t pos = line.byte_offset; pos < content_end;) {
        // Printable ASCII takes one column a byte; no table is consulted.
        if (const std::size_t run = utf8::skip_printable_ascii(text, pos, content_end); run != pos) {
            if (!start_column && start < run) {
                const std::size_t into = start > pos ? start - pos : 0;
                start_column = column + into;
                start_character = characters + into;
            }
            if (end < run) {
                column += end > pos ? end - pos : 0;
                break;
            }
            column += run - pos;
            characters += run - pos;
            pos = run;
            continue;
        }
        const utf8::Decoded d = utf8::decode(text, pos);
        if (!start_column && pos + d.length > start) {
            start_column = column;
            start_character = characters;
        }
        if (pos >= end) break;
        column += cell_of(d.scalar, column).width;
        ++characters;
        pos += d.length;
    }
    // A start within the line break points at it: at its LF when it is a
    // CR LF, otherwise at the one character the break is.
    if (!start_column) start_character = characters + (start > content_end && text[content_end] == '\r' ? 1 : 0);
    // The line break, or the end of the text, takes one column after the
    // quoted characters; an empty span still gets a column to point at.
    const std::size_t first = start_column.value_or(column);
    return {&issue, index, first, std::max(column, first + 1), colour};
}

// A row of the frame with nothing after its glyph: the margin, or the gap
// between two quoted lines that are not neighbours.
template <class Sink> void ReportLayout::frame(Sink& out, char32_t glyph) const {
    out.repeat(U' ', width_ + 2);
    open_palette(out, colour_, frame_colour);
    out.put(glyph);
    reset(out, colour_);
    out.ascii("\n");
}

template <class Sink> void ReportLayout::source_row(Sink& out, std::size_t index) const {
    out.ascii(" ");
    const std::size_t number = index + 1;
    out.repeat(U' ', width_ - decimal_size(number));
    put_decimal(out, number);
    out.ascii(" ");
    open_palette(out, colour_, frame_colour);
    out.put(vertical);
    reset(out, colour_);
    const std::string_view content = shown_content(source_, index);
    if (!content.empty()) out.ascii(" ");
    quoted_line::draw(out, content);
    out.ascii("\n");
}

template <class Sink> void ReportLayout::label_rows(Sink& out, const PlacedLabel& label) const {
    const std::size_t marker_at = label.marker_column();
    const auto row_start = [&] {
        out.repeat(U' ', width_ + 2);
        open_palette(out, colour_, frame_colour);
        out.put(vertical);
        reset(out, colour_);
        out.ascii(" ");
    };

    row_start();
    out.repeat(U' ', label.start_column);
    open_palette(out, colour_, label.colour);
    out.repeat(horizontal, marker_at - label.start_column);
    out.put(marker);
    out.repeat(horizontal, label.end_column - marker_at - 1);
    reset(out, colour_);
    out.ascii("\n");

    row_start();
    out.repeat(U' ', marker_at);
    open_palette(out, colour_, label.colour);
    out.put(bottom_left);
    out.repeat(horizontal, 2);
    reset(out, colour_);
    out.ascii(" ");
    write_sentence(out, *label.issue);
    out.ascii("\n");
}

template <class Sink> void ReportLayout::draw(Sink& out) const {
    if (!fallback_.empty()) {
        out.utf8(fallback_);
        return;
    }
    // The header: "Error:" in red.
    if (colour_) out.ascii("\x1b[31m");
    out.ascii("Error:");
    reset(out, colour_);
    out.ascii(" \n");

    // The location.
    out.repeat(U' ', width_ + 2);
    open_palette(out, colour_, frame_colour);
    out.put(top_left);
    out.put(horizontal);
    out.ascii("[");
    reset(out, colour_);
    out.ascii(" ");
    if (source_id_ascii_) {
        out.ascii(source_id_);
    } else {
        out.utf8(source_id_);
    }
    out.ascii(":");
    if (location_) {
        put_decimal(out, location_->line + 1);
        out.ascii(":");
        put_decimal(out, location_->column + 1);
    } else {
        out.ascii("?:?");
    }
    out.ascii(" ");
    open_palette(out, colour_, frame_colour);
    out.ascii("]");
    reset(out, colour_);
    out.ascii("\n");

    frame(out, vertical);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const std::size_t line = labels_[i].line;
        if (i == 0 || line != labels_[i - 1].line) {
            if (i > 0 && line > labels_[i - 1].line + 1) frame(out, vertical_gap);
            source_row(out, line);
        }
        label_rows(out, labels_[i]);
    }

    // The closing line.
    open_palette(out, colour_, frame_colour);
    out.repeat(horizontal, width_ + 2);
    out.put(bottom_right);
    reset(out, colour_);
    out.ascii("\n");
}

// The report is drawn to be measured, the same drawing that writes it: the
// two cannot come apart, and the sink that writes checks that they did not.
TextMeasure ReportLayout::measure() const noexcept {
    MeasureSink sink;
    draw(sink);
    return sink.result();
}

template <class Unit> void ReportLayout::write_units(std::span<Unit> out, char32_t widest) const noexcept {
    UnitSink<Unit> sink(out, widest);
    draw(sink);
    sink.finish();
}

void ReportLayout::write(std::span<std::uint8_t> out, char32_t widest) const noexcept { write_units(out, widest); }
void ReportLayout::write(std::span<std::uint16_t> out, char32_t widest) const noexcept { write_units(out, widest); }
void ReportLayout::write(std::span<std::uint32_t> out, char32_t widest) const noexcept { write_units(out, widest); }

void ReportLayout::draft(DraftSink& out) const noexcept { draw(out); }

std::string ReportLayout::utf8() const {
    std::string out;
    out.reserve(measure().utf8_bytes);
    Utf8Sink sink(out);
    draw(sink);
    return out;
}

ReportLayout ParseFailure::layout() const {
    return ReportLayout(text, source_id, std::span<const ParseIssue>(&issue, 1), report_colour_enabled());
}

ParseError ParseFailure::to_error() const { return ParseError(layout().utf8()); }

ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues) {
    return render_parse_failure(text, source_id, issues, report_colour_enabled());
}

// Out of memory, there is no text to carry: std::bad_alloc goes up to the
// caller, where the Python boundary turns it into MemoryError. Building a
// fallback message would only need memory again.
ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues,
                                bool colour) {
    return ParseError(ReportLayout(text, source_id, issues, colour).utf8());
}

std::string ParseError::debug_form() const {
    if (backtrace_.empty()) return message_;
    std::string out = message_;
    out.append("\n\nStack backtrace:\n");
    out.append(backtrace_);
    return out;
}

}  // namespace vorna
