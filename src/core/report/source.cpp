#include "core/report/source.hpp"

#include <algorithm>

#include "core/unicode/unicode.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {

namespace {

// The end of the run of ASCII bytes from `from` that are no line break.
std::size_t plain_ascii_run(std::string_view text, std::size_t from) noexcept {
    const char* data = text.data();
    const std::size_t size = text.size();
    from = utf8::skip_printable_ascii(text, from, size);
    while (from < size) {
        const auto byte = static_cast<unsigned char>(data[from]);
        if (byte >= 0x80 || static_cast<unsigned char>(byte - 0x0A) < 4) break;
        ++from;
    }
    return from;
}

}  // namespace

ReportSource::ReportSource(std::string_view text, std::size_t until) : text_(text) {
    SourceLine line;
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        // Runs of ASCII that hold no line break are counted without decoding.
        if (const std::size_t run = plain_ascii_run(text, pos); run != pos) {
            chars += run - pos;
            pos = run;
            continue;
        }
        const utf8::Decoded d = utf8::decode(text, pos);
        pos += d.length;
        ++chars;
        if (!unicode::is_line_break(d.scalar)) continue;
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
        if (pos > until) {
            divided_until_ = pos;
            return;
        }
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

std::optional<std::size_t> ReportSource::line_of(std::size_t offset) const noexcept {
    if (offset > text_.size() || offset >= divided_until_) return std::nullopt;
    // The last line that starts at or before the offset.
    const auto after = std::upper_bound(lines_.begin(), lines_.end(), offset,
                                        [](std::size_t o, const SourceLine& l) { return o < l.byte_offset; });
    return static_cast<std::size_t>(after - lines_.begin()) - 1;
}

std::optional<SourcePosition> ReportSource::locate(std::size_t offset) const noexcept {
    const std::optional<std::size_t> found = line_of(offset);
    if (!found) return std::nullopt;
    const std::size_t index = *found;
    const SourceLine& line = lines_[index];
    // An offset inside a multi-byte character points at that character.
    std::size_t column = 0;
    for (std::size_t pos = line.byte_offset;;) {
        // ASCII is one character a byte.
        const std::size_t run = utf8::skip_ascii(text_, pos, offset);
        column += run - pos;
        pos = run;
        const std::size_t next = pos + (pos < text_.size() ? utf8::decode(text_, pos).length : 1);
        if (next > offset) break;
        pos = next;
        ++column;
    }
    return SourcePosition{index, column};
}

}  // namespace vorna
