// What the grammar tests share: the entry points they name in their cases,
// and the message of an integer past 32 bits.
#pragma once

#include <ostream>
#include <string_view>

namespace vorna {

inline constexpr std::string_view too_large = "integer too large (maximum 4294967295)";

enum class Entry { SemVer, DotSeparated, Other, Version };

inline std::ostream& operator<<(std::ostream& os, Entry e) {
    switch (e) {
        case Entry::SemVer: return os << "parse_semver";
        case Entry::DotSeparated: return os << "parse_dot_separated";
        case Entry::Other: return os << "parse_other";
        case Entry::Version: return os << "parse_version";
    }
    return os;
}

}  // namespace vorna
