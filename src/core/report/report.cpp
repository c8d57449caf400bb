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
#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

#include "core/report/colour.hpp"
#include "core/terminal/painter.hpp"
#include "core/report/report.hpp"
#include "core/report/source.hpp"
#include "core/unicode/unicode.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {

namespace {

constexpr std::size_t tab_width = 4;
// The frame's palette colour: a mid grey of the palette's grey ramp
// (232 to 255), which recedes behind the coloured labels on dark and light
// terminals alike.
constexpr std::uint8_t frame_colour = 246;
// SGR parameters of the header: red.
constexpr std::string_view error_style = "31";

constexpr std::string_view horizontal = "─";
constexpr std::string_view vertical = "│";
constexpr std::string_view vertical_gap = "┆";
constexpr std::string_view top_left = "╭";
constexpr std::string_view bottom_left = "╰";
constexpr std::string_view bottom_right = "╯";
constexpr std::string_view marker = "┬";

// How one character of a quoted line is drawn: a glyph and the columns it
// takes. Tabs run to the next tab stop and other white space is one blank
// column. Control and other invisible characters are never echoed to the
// terminal: they show as a visible stand-in.
struct Cell {
    char32_t glyph;  // ' ' is written `width` times
    std::size_t width;
};

Cell cell_of(char32_t c, std::size_t column) noexcept {
    if (c == U'\t') return {U' ', tab_width - column % tab_width};
    if (unicode::is_blank(c)) return {U' ', 1};
    if (const char32_t shown = visible_form(c); shown != c) return {shown, 1};
    return {c, static_cast<std::size_t>(std::max(unicode::display_width(c), 0))};
}

void append_cell(std::string& out, Cell cell) {
    if (cell.glyph == U' ') {
        out.append(cell.width, ' ');
    } else {
        utf8::append(out, cell.glyph);
    }
}

void append_repeated(std::string& out, std::string_view glyph, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out.append(glyph);
}

// One issue placed beneath the quoted text: the line it is drawn under and
// the display columns its span covers on that line, end past start.
struct PlacedLabel {
    const ParseIssue* issue;
    std::size_t line;
    std::size_t start_column;
    std::size_t end_column;
    std::uint8_t colour;

    std::size_t marker_column() const noexcept { return start_column + (end_column - start_column - 1) / 2; }
};

PlacedLabel place(const ReportSource& source, const ParseIssue& issue, std::uint8_t colour) {
    const std::string_view text = source.text();
    // A span past the end of the text cannot be located (the report location
    // then reads "?"); it is drawn at the end so its sentence still shows. A
    // span that ends before it starts is the caller's fault; it is drawn empty.
    const std::size_t start = std::min(issue.span_start, text.size());
    const std::size_t end = std::clamp(issue.span_end, start, text.size());
    const std::size_t index = *source.line_of(start);
    const SourceLine& line = source.lines()[index];
    const std::size_t content_end = line.byte_offset + source.content(index).size();

    std::size_t column = 0;
    std::optional<std::size_t> start_column;
    for (std::size_t pos = line.byte_offset; pos < content_end;) {
        // Printable ASCII takes one column a byte; no table is consulted.
        if (const std::size_t run = utf8::skip_printable_ascii(text, pos, content_end); run != pos) {
            if (!start_column && start < run) start_column = column + (start > pos ? start - pos : 0);
            if (end < run) {
                column += end > pos ? end - pos : 0;
                break;
            }
            column += run - pos;
            pos = run;
            continue;
        }
        const utf8::Decoded d = utf8::decode(text, pos);
        if (!start_column && pos + d.length > start) start_column = column;
        if (pos >= end) break;
        column += cell_of(d.scalar, column).width;
        pos += d.length;
    }
    // The line break, or the end of the text, takes one column after the
    // quoted characters; an empty span still gets a column to point at.
    const std::size_t first = start_column.value_or(column);
    return {&issue, index, first, std::max(column, first + 1), colour};
}

class ReportWriter {
public:
    ReportWriter(std::string& out, const ReportSource& source, bool colour, std::size_t number_width)
        : out_(out), source_(source), paint_(out, colour), width_(number_width) {}

    void header() {
        paint_.piece(error_style, "Error:");
        out_.append(" \n");
    }

    void location(std::string_view source_id, std::optional<SourcePosition> at) {
        out_.append(width_ + 2, ' ');
        paint_.open_palette(frame_colour);
        out_.append(top_left).append(horizontal).append("[");
        paint_.reset();
        out_.push_back(' ');
        out_.append(source_id);
        out_.push_back(':');
        if (at) {
            append_decimal(out_, at->line + 1);
            out_.push_back(':');
            append_decimal(out_, at->column + 1);
        } else {
            out_.append("?:?");
        }
        out_.push_back(' ');
        paint_.palette_piece(frame_colour, "]");
        out_.push_back('\n');
    }

    void margin() {
        out_.append(width_ + 2, ' ');
        paint_.palette_piece(frame_colour, vertical);
        out_.push_back('\n');
    }

    // Marks the lines left out between two quoted lines.
    void gap() {
        out_.append(width_ + 2, ' ');
        paint_.palette_piece(frame_colour, vertical_gap);
        out_.push_back('\n');
    }

    void source_row(std::size_t index) {
        out_.push_back(' ');
        const std::size_t number = index + 1;
        out_.append(width_ - decimal_size(number), ' ');
        append_decimal(out_, number);
        out_.push_back(' ');
        paint_.palette_piece(frame_colour, vertical);
        const std::size_t row_end = out_.size();
        out_.push_back(' ');
        std::size_t column = 0;
        const std::string_view content = source_.content(index);
        for (std::size_t pos = 0; pos < content.size();) {
            // Runs of printable ASCII are drawn as they stand.
            if (const std::size_t run = utf8::skip_printable_ascii(content, pos, content.size()); run != pos) {
                out_.append(content.substr(pos, run - pos));
                column += run - pos;
                pos = run;
                continue;
            }
            const utf8::Decoded d = utf8::decode(content, pos);
            const Cell cell = cell_of(d.scalar, column);
            append_cell(out_, cell);
            column += cell.width;
            pos += d.length;
        }
        // No trailing blanks: they show nothing and only pad the row.
        while (out_.size() > row_end && out_.back() == ' ') out_.pop_back();
        out_.push_back('\n');
    }

    void label_rows(const PlacedLabel& label) {
        const std::size_t marker_at = label.marker_column();

        row_start();
        out_.append(label.start_column, ' ');
        paint_.open_palette(label.colour);
        for (std::size_t column = label.start_column; column < label.end_column; ++column) {
            out_.append(column == marker_at ? marker : horizontal);
        }
        paint_.reset();
        out_.push_back('\n');

        row_start();
        out_.append(marker_at, ' ');
        paint_.open_palette(label.colour);
        out_.append(bottom_left);
        append_repeated(out_, horizontal, 2);
        paint_.reset();
        out_.push_back(' ');
        label.issue->append_sentence(out_);
        out_.push_back('\n');
    }

    void closing() {
        paint_.open_palette(frame_colour);
        append_repeated(out_, horizontal, width_ + 2);
        out_.append(bottom_right);
        paint_.reset();
        out_.push_back('\n');
    }

private:
    void row_start() {
        out_.append(width_ + 2, ' ');
        paint_.palette_piece(frame_colour, vertical);
        out_.push_back(' ');
    }

    std::string& out_;
    const ReportSource& source_;
    Painter paint_;
    std::size_t width_;
};

// Room for the sentence of `issue`, enough in all but contrived cases.
std::size_t sentence_size_hint(const ParseIssue& issue) noexcept {
    if (const auto* message = std::get_if<std::string>(&issue.reason)) return message->size();
    // "found 'x' expected " with a found character of up to four bytes,
    // rounded up; then per item its label, or a quoted token of up to six
    // bytes, and the ", " or ", or " before it.
    std::size_t size = 48;
    for (const Expectation& e : std::get<ExpectedFound>(issue.reason).expected) size += e.text.size() + 16;
    return size;
}

// An estimate of the report size, so the buffer is allocated once.
std::size_t report_size_hint(const ReportSource& source, std::string_view source_id,
                             std::span<const PlacedLabel> labels, std::size_t width, bool colour) noexcept {
    constexpr std::size_t glyph_bytes = 3;  // every box-drawing glyph
    // A start and a reset sequence per coloured piece, at most two per row;
    // 16 bytes hold the longest ("\x1b[38;5;255m", 11) of either.
    const std::size_t colour_bytes = colour ? 2 * 2 * 16 : 0;
    // Header, location, margin and closing line: each row's margin of
    // `width` columns and up to 8 bytes of spaces, glyphs and line break;
    // then the source id, and "Error:", the brackets and the line and column
    // numbers of the location in 48 bytes.
    std::size_t size = 4 * (width + 8 + colour_bytes) + source_id.size() + 48;
    for (const PlacedLabel& label : labels) {
        // The quoted line, and a gap row. A quoted character mostly takes
        // the bytes it has in the text; the rare tab or stand-in that takes
        // more grows the buffer, rather than every report reserving four
        // times its longest line; 16 bytes of slack take the line break and
        // a stand-in glyph or two.
        size += 2 * (width + 8 + colour_bytes) + source.content(label.line).size() + 16;
        // The underline and connector rows: the span's glyphs, and the
        // connector's three beyond it ("╰──").
        size += 2 * (width + 8 + colour_bytes) + label.start_column + label.marker_column() +
                glyph_bytes * (label.end_column - label.start_column + 3) + sentence_size_hint(*label.issue);
    }
    return size;
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
// report is drawn, not the whole report after.
std::optional<std::string> malformed_piece(std::string_view source_id, std::span<const ParseIssue> issues) {
    if (const auto bad = utf8::first_malformed(source_id)) {
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

std::string render(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues,
                   bool colour) {
    // Only the lines up to the last one that holds an issue are shown.
    std::size_t until = 0;
    for (const ParseIssue& issue : issues) until = std::max(until, std::min(issue.span_start, text.size()));
    const ReportSource source(text, until);

    std::vector<PlacedLabel> labels;
    labels.reserve(issues.size());
    ColourGenerator colours;
    for (const ParseIssue& issue : issues) labels.push_back(place(source, issue, colours.next()));
    // Quoted lines appear in text order; labels on one line in the order given.
    if (labels.size() > 1) {
        std::stable_sort(labels.begin(), labels.end(),
                         [](const PlacedLabel& a, const PlacedLabel& b) { return a.line < b.line; });
    }
    const std::size_t width = decimal_size(labels.back().line + 1);

    std::string out;
    out.reserve(report_size_hint(source, source_id, labels, width, colour));
    ReportWriter writer(out, source, colour, width);
    writer.header();
    writer.location(source_id, source.locate(issues.front().span_start));
    writer.margin();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::size_t line = labels[i].line;
        if (i == 0 || line != labels[i - 1].line) {
            if (i > 0 && line > labels[i - 1].line + 1) writer.gap();
            writer.source_row(line);
        }
        writer.label_rows(labels[i]);
    }
    writer.closing();
    return out;
}

}  // namespace

ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues) {
    return render_parse_failure(text, source_id, issues, report_colour_enabled());
}

ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues,
                                bool colour) {
    // The parsers always pass one issue; without any there is nothing to place.
    if (issues.empty()) return ParseError("Error: no parse issue was recorded\n");
    try {
        if (auto message = malformed_piece(source_id, issues)) return ParseError(std::move(*message));
        return ParseError(render(text, source_id, issues, colour));
    } catch (const std::exception& e) {
        // Only allocation can fail here.
        return ParseError(std::string("Failed to write error to string: ") + e.what());
    }
}

std::string ParseError::debug_form() const {
    if (backtrace_.empty()) return message_;
    std::string out = message_;
    out.append("\n\nStack backtrace:\n");
    out.append(backtrace_);
    return out;
}

}  // namespace vorna
