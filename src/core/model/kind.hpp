// The kinds of version, and the texts every kind is made of.
#pragma once

#include <compare>
#include <string>
#include <string_view>
#include <vector>

namespace vorna {

// UTF-8 text, owned. Lengths and positions are byte counts.
using Text = std::string;
// A list of owned texts: how callers hand lists over (conversions, tests).
using TextList = std::vector<Text>;

// The kinds of version in their declared order, which is also their rank in
// the order of versions: every SemVer is less than every DotSeparated, and so on.
enum class VersionKind : unsigned char { SemVer = 0, DotSeparated = 1, Other = 2 };

// The first member of every kind of value. Each kind sets it to itself, so a
// Version can tell which kind it holds from the common first member alone.
struct KindTag {
    VersionKind kind;
};

// Byte-wise order of two texts, each byte read as unsigned; a proper prefix is
// less. This is the order of code points for valid UTF-8.
inline std::strong_ordering compare_text(std::string_view a, std::string_view b) noexcept {
    // std::string_view::compare uses char_traits<char>, whose compare is
    // specified to order as unsigned char.
    const int r = a.compare(b);
    return r < 0 ? std::strong_ordering::less : r > 0 ? std::strong_ordering::greater : std::strong_ordering::equal;
}

}  // namespace vorna
