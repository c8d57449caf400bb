// A semantic version: three numbers, an optional pre-release list and an
// optional build list. Absent and present-but-empty lists are distinct.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "core/text.hpp"

namespace vorna {

struct SemVer {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    std::optional<TextList> rc;    // pre-release identifiers
    std::optional<TextList> meta;  // build metadata; never compared

    // Equality and order ignore `meta`. An absent `rc` ranks above any
    // present one, the empty list included.
    friend bool operator==(const SemVer& a, const SemVer& b) noexcept;
    friend std::strong_ordering operator<=>(const SemVer& a, const SemVer& b) noexcept;
};

// 1.2.3-rc.1+build.5
void append_text(std::string& out, const SemVer& v);
// SemVer { major: 1, minor: 2, patch: 3, rc: Some(["rc", "1"]), meta: None }
void append_debug(std::string& out, const SemVer& v);

}  // namespace vorna
