// A version made of dot-separated parts. Parts are texts, never numbers.
#pragma once

#include <compare>
#include <string>

#include "core/text.hpp"

namespace vorna {

struct DotSeparated {
    TextList parts;

    friend bool operator==(const DotSeparated& a, const DotSeparated& b) noexcept { return a.parts == b.parts; }
    friend std::strong_ordering operator<=>(const DotSeparated& a, const DotSeparated& b) noexcept {
        return compare_lists(a.parts, b.parts);
    }
};

// 2024.05
void append_text(std::string& out, const DotSeparated& v);
// DotSeparated { parts: ["2024", "05"] }
void append_debug(std::string& out, const DotSeparated& v);

}  // namespace vorna
