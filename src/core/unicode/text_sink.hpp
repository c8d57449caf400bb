// Where a report is drawn: the drawing code is written once against a sink,
// and each sink does one job with the pieces. One measures (characters,
// widest character, UTF-8 bytes): the drawing run into it is how storage of
// the final size and width is had before anything is written. Another
// appends UTF-8; the one that writes code units of one width into storage of
// a known end lives with the report (core/report/unit_sink.hpp), as it ends
// the process when the storage and what is written disagree; long texts made
// into host strings use it too.
//
// Pieces are ASCII text, single characters (Unicode scalars), runs of one
// character, and well-formed UTF-8 text.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "core/unicode/text_forms.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {

// The size of a text before it is written.
struct TextMeasure {
    std::size_t length = 0;  // characters
    // The greatest character, or 0x7F when that is ASCII (all of ASCII takes
    // one width); 0 for the empty text.
    char32_t widest = 0;
    std::size_t utf8_bytes = 0;  // bytes of its UTF-8 form
};

constexpr std::size_t utf8_size(char32_t c) noexcept { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// Hands well-formed UTF-8 `text` to `sink` as runs of ASCII and single
// characters: the walk that the measuring sink and the sinks writing code
// units share.
template <class Sink> void put_decoded(Sink& sink, std::string_view text) noexcept {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t run = utf8::skip_ascii(text, pos, text.size());
        sink.ascii(text.substr(pos, run - pos));
        if (run == text.size()) break;
        const utf8::Decoded d = utf8::decode(text, run);
        sink.put(d.scalar);
        pos = run + d.length;
    }
}

class MeasureSink {
public:
    void ascii(std::string_view text) noexcept {
        if (text.empty()) return;
        m_.length += text.size();
        m_.utf8_bytes += text.size();
        m_.widest = std::max<char32_t>(m_.widest, 0x7F);
    }
    void repeat(char32_t c, std::size_t count) noexcept {
        if (count == 0) return;
        m_.length += count;
        m_.utf8_bytes += count * utf8_size(c);
        m_.widest = std::max(m_.widest, c < 0x80 ? char32_t{0x7F} : c);
    }
    void put(char32_t c) noexcept { repeat(c, 1); }
    void utf8(std::string_view text) noexcept { put_decoded(*this, text); }

    const TextMeasure& result() const noexcept { return m_; }

private:
    TextMeasure m_;
};

// Appends UTF-8 to a string (which may throw std::bad_alloc).
class Utf8Sink {
public:
    explicit Utf8Sink(std::string& out) noexcept : out_(out) {}

    void ascii(std::string_view text) { out_.append(text); }
    void repeat(char32_t c, std::size_t count) {
        if (c < 0x80) {
            out_.append(count, static_cast<char>(c));
            return;
        }
        for (std::size_t i = 0; i < count; ++i) utf8::append(out_, c);
    }
    void put(char32_t c) { utf8::append(out_, c); }
    void utf8(std::string_view text) { out_.append(text); }

private:
    std::string& out_;
};

// `n` in decimal as an ASCII piece.
template <class Sink, std::unsigned_integral N> void put_decimal(Sink& sink, N n) {
    // Zeroed only to quiet newer compilers, which cannot see write_decimal
    // fill the digits it counts.
    char digits[std::numeric_limits<N>::digits10 + 1] = {};
    sink.ascii(std::string_view(digits, static_cast<std::size_t>(write_decimal(digits, n) - digits)));
}

}  // namespace vorna
