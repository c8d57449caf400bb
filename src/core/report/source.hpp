// The parsed text as a diagnostic report sees it: divided into lines, each
// located both in bytes and in characters.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "core/report/short_list.hpp"

namespace vorna {

// One line of a text. The line break that ends a line belongs to it; the last
// line has none. Malformed UTF-8 counts one character per offending byte.
struct SourceLine {
    std::size_t byte_offset = 0;
    std::size_t byte_length = 0;  // including the line break
    std::size_t char_offset = 0;
    std::size_t char_length = 0;  // including the line break
    std::size_t break_bytes = 0;  // bytes of the line break at the end

    friend bool operator==(const SourceLine&, const SourceLine&) = default;
};

// A place in the text: the 0-based index of its line and its 0-based column,
// counted in characters from the start of that line.
struct SourcePosition {
    std::size_t line = 0;
    std::size_t column = 0;

    friend bool operator==(const SourcePosition&, const SourcePosition&) = default;
};

// Lines end at each line-break character, CR LF counting as one break. A text
// with n breaks has n + 1 lines, so the empty text is one empty line and a
// text ending in a break has an empty last line.
class ReportSource {
public:
    // Keeps a view of `text`, which must outlive the source. With `until`,
    // the text is divided only as far as the line that holds byte `until`:
    // a report shows no line below its issues, so the rest is never walked.
    explicit ReportSource(std::string_view text, std::size_t until = std::string_view::npos);

    std::string_view text() const noexcept { return text_; }
    std::span<const SourceLine> lines() const noexcept { return lines_; }
    // The bytes of line `index` without its line break.
    std::string_view content(std::size_t index) const noexcept;

    // The line that holds byte `offset` (the end of the text belongs to the
    // last line) and the column of the character that holds it. Nothing for
    // an offset past the end of the text or past the lines divided.
    std::optional<SourcePosition> locate(std::size_t offset) const noexcept;
    // The line of locate(offset) alone, found without walking to the column.
    std::optional<std::size_t> line_of(std::size_t offset) const noexcept;

private:
    std::string_view text_;
    // Version texts are one line, or two when a line break ends them.
    ShortList<SourceLine, 2> lines_;
    // Where the lines divided end, when they stop short of the text.
    std::size_t divided_until_ = std::string_view::npos;
};

}  // namespace vorna
