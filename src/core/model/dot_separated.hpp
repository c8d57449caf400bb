// A version made of dot-separated parts. Parts are texts, never numbers.
#pragma once

#include <compare>
#include <string>
#include <utility>

#include "core/model/packed_lists.hpp"
#include "core/unicode/text_forms.hpp"

namespace vorna {

struct DotSeparated {
    // Set by construction and never changed (see KindTag).
    KindTag tag{VersionKind::DotSeparated};
    // One list, always present.
    PackedLists<1> lists;

    DotSeparated() noexcept = default;
    DotSeparated(const TextList& parts) : lists({ListSource(parts)}) {}
    // The lists of a matched text, built in place.
    DotSeparated(std::in_place_t, const MatchedLists<1>& parts) : lists(parts) {}

    ListView parts() const noexcept { return lists.get(0); }
    void set_parts(const ListSource& parts) { lists.assign(0, parts); }

    friend bool operator==(const DotSeparated& a, const DotSeparated& b) noexcept { return a.parts() == b.parts(); }
    friend std::strong_ordering operator<=>(const DotSeparated& a, const DotSeparated& b) noexcept {
        return a.parts() <=> b.parts();
    }
};

// 2024.05
inline std::size_t text_size(const DotSeparated& v) noexcept { return joined_size(v.parts()); }
inline char* write_text(char* out, const DotSeparated& v) noexcept { return write_joined(out, v.parts()); }
inline bool text_is_ascii(const DotSeparated& v) noexcept { return is_ascii(v.parts().bytes()); }
inline void append_text(std::string& out, const DotSeparated& v) { append_sized(out, v); }
// DotSeparated { parts: ["2024", "05"] }
void append_debug(std::string& out, const DotSeparated& v);

}  // namespace vorna
