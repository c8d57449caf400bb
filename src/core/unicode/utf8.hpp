// UTF-8 decoding over byte strings. Positions and lengths are byte counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vorna::utf8 {

// One decoded character: its scalar value and how many bytes it occupies.
struct Decoded {
    char32_t scalar;
    std::size_t length;
};

// The scalar that stands for a malformed sequence. Decoding never fails: a
// byte that does not start a well-formed sequence decodes to this scalar with
// length 1, so every walk over arbitrary bytes makes progress and terminates.
inline constexpr char32_t replacement = 0xFFFD;

// Decodes the character that starts at `pos`. Precondition: pos < text.size().
constexpr Decoded decode(std::string_view text, std::size_t pos) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) return {b0, 1};
    const std::size_t left = text.size() - pos;
    const auto cont = [&](std::size_t i) { return i < left && (byte(pos + i) & 0xC0) == 0x80; };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (cont(1)) return {char32_t((b0 & 0x1F) << 6 | (byte(pos + 1) & 0x3F)), 2};
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (cont(1) && cont(2)) {
            const char32_t c = char32_t((b0 & 0x0F) << 12 | (byte(pos + 1) & 0x3F) << 6 | (byte(pos + 2) & 0x3F));
            if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) return {c, 3};
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (cont(1) && cont(2) && cont(3)) {
            const char32_t c = char32_t((b0 & 0x07) << 18 | (byte(pos + 1) & 0x3F) << 12 |
                                        (byte(pos + 2) & 0x3F) << 6 | (byte(pos + 3) & 0x3F));
            if (c >= 0x10000 && c <= 0x10FFFF) return {c, 4};
        }
    }
    return {replacement, 1};
}

// Long runs of ASCII are skipped eight bytes at a time: no byte of a word
// has its high bit set, so adding to every byte at once carries into no
// neighbour, and the high bits tell the bytes apart.
namespace detail {
inline constexpr std::uint64_t high_bits = 0x8080808080808080ull;
inline constexpr std::uint64_t each_byte(unsigned char b) noexcept { return 0x0101010101010101ull * b; }
inline std::uint64_t word_at(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}
}  // namespace detail

// The end of the run of ASCII bytes (below 0x80) in text[from, to).
inline std::size_t skip_ascii(std::string_view text, std::size_t from, std::size_t to) noexcept {
    const char* data = text.data();
    while (to - from >= 32) {
        const std::uint64_t any = detail::word_at(data + from) | detail::word_at(data + from + 8) |
                                  detail::word_at(data + from + 16) | detail::word_at(data + from + 24);
        if ((any & detail::high_bits) != 0) break;
        from += 32;
    }
    while (to - from >= 8 && (detail::word_at(data + from) & detail::high_bits) == 0) from += 8;
    while (from < to && static_cast<unsigned char>(data[from]) < 0x80) ++from;
    return from;
}

// The end of the run of printable ASCII bytes (0x20 to 0x7E) in text[from, to).
inline std::size_t skip_printable_ascii(std::string_view text, std::size_t from, std::size_t to) noexcept {
    using detail::each_byte;
    using detail::high_bits;
    const char* data = text.data();
    while (to - from >= 8) {
        const std::uint64_t w = detail::word_at(data + from);
        // Below 0x80; 0x20 or above (adding 0x60 sets the high bit); 0x7E or
        // below (adding 1 leaves it clear).
        if ((w & high_bits) != 0 || ((w + each_byte(0x60)) & high_bits) != high_bits ||
            ((w + each_byte(0x01)) & high_bits) != 0) {
            break;
        }
        from += 8;
    }
    while (from < to && static_cast<unsigned char>(data[from] - 0x20) < 0x5F) ++from;
    return from;
}

// Whether a decoded character stands for a malformed sequence: a genuine
// U+FFFD is three bytes long, the stand-in one.
constexpr bool is_malformed(const Decoded& d) noexcept { return d.scalar == replacement && d.length == 1; }

// The byte offset of the first malformed sequence, if any.
inline std::optional<std::size_t> first_malformed(std::string_view text) noexcept {
    for (std::size_t pos = 0; pos < text.size();) {
        pos = skip_ascii(text, pos, text.size());
        if (pos == text.size()) break;
        const Decoded d = decode(text, pos);
        if (is_malformed(d)) return pos;
        pos += d.length;
    }
    return std::nullopt;
}

// True when the whole text is well-formed UTF-8.
inline bool is_valid(std::string_view text) noexcept { return !first_malformed(text); }

// Whether `c` is a Unicode scalar value: no surrogate, nothing past the last
// code point. Only a scalar has a well-formed UTF-8 encoding.
constexpr bool is_scalar(char32_t c) noexcept { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// Appends the UTF-8 encoding of `c` (a Unicode scalar value) to `out`.
inline void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace vorna::utf8
