// Texts and lists of texts as the version model holds them, with the shared
// pieces of their renderings and their byte-wise order.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorna {

// UTF-8 text, owned. Lengths and positions are byte counts.
using Text = std::string;
// An ordered list of texts: pre-release and build identifiers, dotted parts.
using TextList = std::vector<Text>;

// Byte-wise order of two texts, each byte read as unsigned; a proper prefix is
// less. This is the order of code points for valid UTF-8.
inline std::strong_ordering compare_text(std::string_view a, std::string_view b) noexcept {
    // std::string_view::compare uses char_traits<char>, whose compare is
    // specified to order as unsigned char.
    const int r = a.compare(b);
    return r < 0 ? std::strong_ordering::less : r > 0 ? std::strong_ordering::greater : std::strong_ordering::equal;
}

// Element-wise order of two lists; a proper prefix is less.
inline std::strong_ordering compare_lists(const TextList& a, const TextList& b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (const auto c = compare_text(a[i], b[i]); c != 0) return c;
    }
    return a.size() <=> b.size();
}

// Appends the texts with "." between neighbours.
void append_joined(std::string& out, const TextList& list);
// Appends `n` in decimal, without sign or leading zeros.
void append_decimal(std::string& out, std::uint32_t n);
// Appends the text in double quotes with the debug escapes: \" \\ \t \r \n \0,
// and \u{hex} for non-printable and grapheme-extending characters.
void append_quoted(std::string& out, std::string_view text);
// Appends ["a", "b"]: the quoted texts, ", " between neighbours.
void append_quoted_list(std::string& out, const TextList& list);

}  // namespace vorna
