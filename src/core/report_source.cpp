#include "core/report_source.hpp"

#include <algorithm>

#include "core/utf8.hpp"

namespace vorna {

ReportSource::ReportSource(std::string_view text) : text_(text) {
    SourceLine line;
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const utf8::Decoded d = utf8::decode(text, pos);
        pos += d.length;
        ++chars;
        if (!is_line_break(d.scalar)) continue;
        std::size_t break_bytes = d.length;
        if (d.scalar == U'\r' && pos < text.size() && text[pos] == '\n') {
            ++pos;
            ++chars;
            ++break_bytes;
        }
        line.byte_length = pos - line.byte_offset;
        line.char_length = chars - line.char_offset;
        line.break_bytes = break_bytes;
        lines_.push_back(line);
        line = SourceLine{pos, 0, chars, 0, 0};
    }
    line.byte_length = text.size() - line.byte_offset;
    line.char_length = chars - line.char_offset;
    lines_.push_back(line);
}

std::string_view ReportSource::content(std::size_t index) const noexcept {
    const SourceLine& line = lines_[index];
    return text_.substr(line.byte_offset, line.byte_length - line.break_bytes);
}

std::optional<SourcePosition> ReportSource::locate(std::size_t offset) const noexcept {
    if (offset > text_.size()) return std::nullopt;
    // The last line that starts at or before the offset.
    const auto after = std::upper_bound(lines_.begin(), lines_.end(), offset,
                                        [](std::size_t o, const SourceLine& l) { return o < l.byte_offset; });
    const std::size_t index = static_cast<std::size_t>(after - lines_.begin()) - 1;
    const SourceLine& line = lines_[index];
    // An offset inside a multi-byte character points at that character.
    std::size_t column = 0;
    for (std::size_t pos = line.byte_offset;;) {
        const std::size_t next = pos + (pos < text_.size() ? utf8::decode(text_, pos).length : 1);
        if (next > offset) break;
        pos = next;
        ++column;
    }
    return SourcePosition{index, column};
}

}  // namespace vorna
