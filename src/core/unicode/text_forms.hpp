// The pieces texts are written from: decimal numbers and quoted texts with
// escapes.
// Nothing here knows the version model, so the log formats with it too.
#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/unicode/utf8.hpp"

namespace vorna {

// True when every byte is below 0x80.
inline bool is_ascii(std::string_view text) noexcept { return utf8::skip_ascii(text, 0, text.size()) == text.size(); }

// The digits of `n` in decimal, without sign or leading zeros.
template <std::unsigned_integral N> constexpr std::size_t decimal_size(N n) noexcept {
    std::size_t size = 1;
    for (; n >= 10; n /= 10) ++size;
    return size;
}
// Writes the decimal_size(n) digits of `n` at `out` and returns their end.
template <std::unsigned_integral N> char* write_decimal(char* out, N n) noexcept {
    return std::to_chars(out, out + std::numeric_limits<N>::digits10 + 1, n).ptr;
}
// Appends `n` in decimal: a "-" before a negative number, no leading zeros.
template <std::integral N> void append_decimal(std::string& out, N n) {
    using U = std::make_unsigned_t<N>;
    auto magnitude = static_cast<U>(n);
    if constexpr (std::is_signed_v<N>) {
        if (n < 0) {
            out.push_back('-');
            magnitude = static_cast<U>(U{0} - magnitude);
        }
    }
    char digits[std::numeric_limits<U>::digits10 + 1];
    out.append(digits, write_decimal(digits, magnitude));
}

// Appends the text in double quotes with the debug escapes: \" \\ \t \r \n \0,
// and \u{hex} for non-printable and grapheme-extending characters. A
// malformed byte becomes U+FFFD, so the result is always valid UTF-8.
void append_quoted(std::string& out, std::string_view text);

}  // namespace vorna
