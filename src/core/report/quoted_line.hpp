// How a report quotes a line of the parsed text: each character drawn as a
// cell of known columns, white space that ends the line left out.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/unicode/utf8.hpp"

namespace vorna::quoted_line {

// How one character of a quoted line is drawn: a glyph and the columns it
// takes. Tabs run to the next tab stop and other white space is one blank
// column. Control and other invisible characters are never echoed to the
// terminal: they show as a visible stand-in.
struct Cell {
    char32_t glyph;  // ' ' is written `width` times
    std::size_t width;
};

// The cell of `c` at display column `column` of its line.
Cell cell_of(char32_t c, std::size_t column) noexcept;

// The end of a quoted line once the white space that ends it is left out:
// it shows nothing and would only pad the row.
std::size_t shown_end(std::string_view content) noexcept;

// The characters of a quoted line, each drawn as its cell, into a text sink.
template <class Sink> void draw(Sink& out, std::string_view content) {
    std::size_t column = 0;
    for (std::size_t pos = 0; pos < content.size();) {
        // Runs of printable ASCII are drawn as they stand.
        if (const std::size_t run = utf8::skip_printable_ascii(content, pos, content.size()); run != pos) {
            out.ascii(content.substr(pos, run - pos));
            column += run - pos;
            pos = run;
            continue;
        }
        const utf8::Decoded d = utf8::decode(content, pos);
        const Cell cell = cell_of(d.scalar, column);
        if (cell.glyph == U' ') {
            out.repeat(U' ', cell.width);
        } else {
            out.put(cell.glyph);
        }
        column += cell.width;
        pos += d.length;
    }
}

}  // namespace vorna::quoted_line
