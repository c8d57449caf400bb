// Fuzz target: the layout of the diagnostic report over arbitrary texts
// (line breaks of every kind, tabs, wide, combining and malformed
// characters) and arbitrary issues (any span, any expectations, free
// messages). The one-issue report must keep its seven lines in order: the
// header, the location with the right line and column, the margin, the
// quoted line, the underline with its marker under the span, the connector
// carrying the sentence, and the closing line. Colour only adds escapes.
// Every report is also written in code units into storage of its measure,
// through the sink that ends the process if the two disagree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/parse/parse.hpp"
#include "core/report/report.hpp"
#include "core/report/source.hpp"
#include "core/unicode/unicode.hpp"
#include "fuzz_common.hpp"

namespace {

using vorna::fuzz::check;
using vorna::utf8::decode;

constexpr std::string_view source_ids[] = {vorna::source_id<vorna::SemVer>, vorna::source_id<vorna::DotSeparated>,
                                           vorna::source_id<vorna::Other>, vorna::source_id<vorna::Version>};

bool is_break(char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

// White space (the Unicode White_Space property) that does not end a line.
bool is_blank(char32_t c) {
    return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Columns a character takes in the quoted line: tabs run to the next stop of
// four, other white space and invisible characters take one column (they are
// drawn as a blank or a visible stand-in), the rest their display width.
std::size_t columns(char32_t c, std::size_t column) {
    if (c == U'\t') return 4 - column % 4;
    if (is_blank(c) || c < 0x20 || c == 0x7F || !vorna::unicode::is_printable(c)) return 1;
    return static_cast<std::size_t>(std::max(vorna::unicode::display_width(c), 0));
}

// Where the report must point, worked out from the text alone.
struct Expected {
    std::size_t line = 0;      // 0-based line that holds the span start
    std::size_t column = 0;    // 0-based character column of the span start
    std::size_t line_start = 0;
    std::size_t content_end = 0;  // the line's end, without its line break
};

Expected locate(std::string_view text, std::size_t offset) {
    Expected e;
    // A line starts after each break; the offset lies on the last line that
    // starts at or before it. CR LF is one break.
    for (std::size_t pos = 0; pos < text.size() && pos < offset;) {
        const auto d = decode(text, pos);
        pos += d.length;
        if (!is_break(d.scalar)) continue;
        if (d.scalar == U'\r' && pos < text.size() && text[pos] == '\n') ++pos;
        if (pos > offset) break;
        ++e.line;
        e.line_start = pos;
    }
    for (std::size_t pos = e.line_start; pos < text.size();) {
        const auto d = decode(text, pos);
        if (pos + d.length > offset) break;
        pos += d.length;
        ++e.column;
    }
    e.content_end = e.line_start;
    while (e.content_end < text.size()) {
        const auto d = decode(text, e.content_end);
        if (is_break(d.scalar)) break;
        e.content_end += d.length;
    }
    return e;
}

std::size_t digits(std::size_t n) { return std::to_string(n).size(); }

std::string repeat(std::string_view glyph, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out.append(glyph);
    return out;
}

// Consumes one line of the report (without its line feed).
std::string_view take_line(std::string_view& rest) {
    const std::size_t nl = rest.find('\n');
    check(nl != std::string_view::npos, "report line without a line feed");
    const std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(nl + 1);
    return line;
}

// Consumes `glyph` repeatedly; returns how many.
std::size_t take_run(std::string_view& rest, std::string_view glyph) {
    std::size_t n = 0;
    while (rest.starts_with(glyph)) {
        rest.remove_prefix(glyph.size());
        ++n;
    }
    return n;
}

std::size_t display_width(std::string_view row) {
    std::size_t width = 0;
    for (std::size_t pos = 0; pos < row.size();) {
        const auto d = decode(row, pos);
        check(!(d.scalar == vorna::utf8::replacement && d.length == 1), "quoted line is not UTF-8");
        check(d.scalar == U' ' || (vorna::unicode::is_printable(d.scalar) && !is_break(d.scalar)),
              "quoted line shows an invisible character");
        width += static_cast<std::size_t>(std::max(vorna::unicode::display_width(d.scalar), 0));
        pos += d.length;
    }
    return width;
}

void check_layout(std::string_view report, std::string_view text, std::string_view id,
                  const vorna::ParseIssue& issue) {
    const bool located = issue.span_start <= text.size();
    const std::size_t start = std::min(issue.span_start, text.size());
    const std::size_t end = std::clamp(issue.span_end, start, text.size());
    const Expected at = locate(text, start);
    const std::size_t w = digits(at.line + 1);
    const std::string pad(w + 2, ' ');

    std::string_view rest = report;
    check(take_line(rest) == "Error: ", "header line");
    const std::string where =
        located ? std::to_string(at.line + 1) + ":" + std::to_string(at.column + 1) : std::string("?:?");
    check(take_line(rest) == pad + "╭─[ " + std::string(id) + ":" + where + " ]", "location line");
    check(take_line(rest) == pad + "│", "margin line");

    std::string_view row = take_line(rest);
    const std::string row_prefix = " " + std::string(w - digits(at.line + 1), ' ') + std::to_string(at.line + 1) + " │";
    check(row.starts_with(row_prefix), "source row prefix");
    row.remove_prefix(row_prefix.size());
    if (!row.empty()) {
        check(row.starts_with(" ") && row.size() > 1 && !row.ends_with(" "), "source row spacing");
        row.remove_prefix(1);
    }

    // The span's columns on its line, end past start even when empty.
    std::size_t column = 0, first = 0, last = 0;
    bool first_seen = false, last_seen = false;
    for (std::size_t pos = at.line_start; pos < at.content_end;) {
        const auto d = decode(text, pos);
        if (!first_seen && pos + d.length > start) first = column, first_seen = true;
        if (!last_seen && pos >= end) last = column, last_seen = true;
        column += columns(d.scalar, column);
        pos += d.length;
    }
    if (!first_seen) first = column;
    if (!last_seen) last = column;
    last = std::max(last, first + 1);
    check(display_width(row) <= column, "quoted line wider than its characters");

    std::string_view underline = take_line(rest);
    check(underline.starts_with(pad + "│ "), "underline row prefix");
    underline.remove_prefix(pad.size() + std::string_view("│ ").size());
    const std::size_t indent = take_run(underline, " ");
    const std::size_t before = take_run(underline, "─");
    check(take_run(underline, "┬") == 1, "one marker in the underline row");
    const std::size_t after = take_run(underline, "─");
    check(underline.empty(), "underline row holds something else");
    const std::size_t marker = indent + before;
    check(indent == first && marker + 1 + after == last, "underline does not cover the span");
    check(marker - first <= last - 1 - marker && last - 1 - marker <= marker - first + 1, "marker not at the middle");

    const std::string connector = pad + "│ " + std::string(marker, ' ') + "╰";
    check(rest.starts_with(connector), "connector does not start under the marker");
    rest.remove_prefix(connector.size());
    check(take_run(rest, "─") >= 1 && rest.starts_with(" "), "connector bar");
    rest.remove_prefix(1);
    // The sentence may itself hold line feeds; the closing line follows it.
    check(rest == issue.sentence() + "\n" + repeat("─", w + 2) + "╯\n", "sentence or closing line");
}

// Removes SGR sequences (ESC [ digits and semicolons m). Texts may hold
// such bytes themselves, so both renderings are stripped before comparing.
std::string strip_escapes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 2) == "\x1b[") {
            std::size_t j = i + 2;
            while (j < text.size() && ((text[j] >= '0' && text[j] <= '9') || text[j] == ';')) ++j;
            if (j < text.size() && text[j] == 'm') {
                i = j;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

char32_t any_character(vorna::fuzz::ValueReader& in) {
    const std::string t = in.text();
    return t.empty() ? U'\n' : decode(t, 0).scalar;
}

// Labels are views: their texts are kept in `labels` while the issues live.
vorna::ParseIssue any_issue(vorna::fuzz::ValueReader& in, std::string_view text, std::deque<std::string>& labels) {
    vorna::ParseIssue issue;
    const std::uint8_t how = in.byte();
    const std::size_t offset = std::size_t(in.byte()) << 8 | in.byte();
    issue.span_start = how % 16 == 0 ? text.size() + offset % 4 : offset % (text.size() + 1);
    issue.span_end = issue.span_start + in.byte() % 8;
    if ((how >> 4) % 4 == 0) {
        issue.reason = in.text();
        return issue;
    }
    vorna::ExpectedFound ef;
    if (issue.span_start < text.size() && (how & 0x40) == 0) ef.found = decode(text, issue.span_start).scalar;
    if (how & 0x80) ef.found = any_character(in);
    for (std::size_t n = in.byte() % 5; n > 0; --n) {
        switch (in.byte() % 3) {
            case 0: ef.expected.push_back(vorna::Expectation::token_of(any_character(in))); break;
            case 1: ef.expected.push_back(vorna::Expectation::label(labels.emplace_back(in.text()))); break;
            default: ef.expected.push_back(vorna::Expectation::end_of_input()); break;
        }
    }
    issue.reason = std::move(ef);
    return issue;
}

// The report written into storage of its measure, at the narrowest unit
// that holds its widest character, as a host string would be made for it.
// The sink ends the process if the drawing and the storage disagree.
std::u32string written_units(const vorna::ReportLayout& layout, const vorna::TextMeasure& m) {
    const auto drawn = [&]<class Unit>(std::vector<Unit> units) {
        layout.write(std::span(units), m.widest);
        return std::u32string(units.begin(), units.end());
    };
    if (m.widest <= 0xFF) return drawn(std::vector<std::uint8_t>(m.length));
    if (m.widest <= 0xFFFF) return drawn(std::vector<std::uint16_t>(m.length));
    return drawn(std::vector<std::uint32_t>(m.length));
}

// The measure is that of the report's UTF-8 form, and the report written in
// code units is the same characters.
void check_measure(std::string_view text, std::string_view id, std::span<const vorna::ParseIssue> issues,
                   bool colour) {
    const vorna::ReportLayout layout(text, id, issues, colour);
    const vorna::TextMeasure m = layout.measure();
    const std::string utf8 = layout.utf8();
    std::u32string characters;
    char32_t widest = utf8.empty() ? 0 : 0x7F;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto d = decode(utf8, pos);
        characters.push_back(d.scalar);
        widest = std::max(widest, d.scalar);
        pos += d.length;
    }
    check(characters.size() == m.length && widest == m.widest && utf8.size() == m.utf8_bytes,
          "measure differs from the written report");
    std::vector<std::uint16_t> scratch(2048);
    vorna::DraftSink draft{std::span(scratch)};
    layout.draft(draft);
    const vorna::TextMeasure units = draft.measure();
    check(units.length == m.length && units.widest == m.widest, "the draft's measure differs from the measure");
    if (const auto drafted = draft.drafted()) {
        check(std::u32string(drafted->begin(), drafted->end()) == characters, "the draft differs from the UTF-8 form");
    }
    check(written_units(layout, m) == characters, "report in code units differs from its UTF-8 form");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The text first, as raw bytes (malformed UTF-8 included), then the issues.
    const std::size_t text_size = size < 2 ? 0 : std::min<std::size_t>(size - 2, std::size_t(data[0]) << 8 | data[1]);
    const std::string text(reinterpret_cast<const char*>(data) + 2, text_size);
    const std::size_t used = std::min(size, text_size + 2);
    vorna::fuzz::ValueReader in(data + used, size - used);
    const std::string_view id = source_ids[in.byte() % 4];

    std::deque<std::string> labels;
    std::vector<vorna::ParseIssue> issues{any_issue(in, text, labels)};
    const std::string plain = vorna::render_parse_failure(text, id, issues, false).message();
    check(vorna::utf8::is_valid(plain), "report is not UTF-8");
    check_layout(plain, text, id, issues.front());
    check_measure(text, id, issues, false);
    check_measure(text, id, issues, true);
    const std::string coloured = vorna::render_parse_failure(text, id, issues, true).message();
    check(coloured.starts_with("\x1b[31mError:\x1b[0m ") && strip_escapes(coloured) == strip_escapes(plain),
          "colour changes more than the escapes");

    // Several issues (never passed by the grammars) still give a sound report.
    for (std::size_t n = in.byte() % 3; n > 0; --n) issues.push_back(any_issue(in, text, labels));
    if (issues.size() > 1) {
        const std::string many = vorna::render_parse_failure(text, id, issues, false).message();
        check(vorna::utf8::is_valid(many) && many.starts_with("Error: \n") && many.ends_with("╯\n"),
              "report of several issues");
        check_measure(text, id, issues, in.byte() % 2 == 1);
    }
    return 0;
}
