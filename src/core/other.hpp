// A version string of no other kind, kept as one text.
#pragma once

#include <compare>
#include <string>

#include "core/text.hpp"

namespace vorna {

struct Other {
    Text value;

    friend bool operator==(const Other& a, const Other& b) noexcept { return a.value == b.value; }
    friend std::strong_ordering operator<=>(const Other& a, const Other& b) noexcept {
        return compare_text(a.value, b.value);
    }
};

// nightly
void append_text(std::string& out, const Other& v);
// Other { value: "nightly" }
void append_debug(std::string& out, const Other& v);

}  // namespace vorna
