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
    // The lists of a matched text, built in place, in `room` when one is given.
    DotSeparated(std::in_place_t, const MatchedLists<1>& parts, BlockRoom room) : lists(parts, room) {}

    ListView parts() const noexcept { return lists.get(0); }
    void set_parts(const ListSource& parts) { lists.assign(0, parts); }

    friend bool operator==(const DotSeparated& a, const DotSeparated& b) noexcept { return a.parts() == b.parts(); }
    friend std::strong_ordering operator<=>(const DotSeparated& a, const DotSeparated& b) noexcept {
        return a.parts() <=> b.parts();
    }
};

// 2024.05
template <class Sink> void put_text(Sink& out, const DotSeparated& v) { put_joined(out, v.parts()); }
inline void append_text(std::string& out, const DotSeparated& v) {
    Utf8Sink sink(out);
    put_text(sink, v);
}
// DotSeparated { parts: ["2024", "05"] }
void append_debug(std::string& out, const DotSeparated& v);

}  // namespace vorna
