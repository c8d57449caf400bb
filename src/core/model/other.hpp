// A version string of no other kind, kept as one text.
#pragma once

#include <compare>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "core/model/packed_lists.hpp"
#include "core/unicode/text_forms.hpp"

namespace vorna {

struct Other {
    // Set by construction and never changed (see KindTag).
    KindTag tag{VersionKind::Other};
    // The text as the one item of one list; no block while it is empty.
    PackedLists<1> lists;

    Other() noexcept = default;
    Other(std::string_view value) { set_value(value); }
    Other(const char* value) : Other(std::string_view(value)) {}
    Other(const Text& value) : Other(std::string_view(value)) {}
    // The lists of a matched text: one present list of one item, built in
    // `room` when one is given.
    Other(std::in_place_t, const MatchedLists<1>& value, BlockRoom room) : lists(value, room) {}

    std::string_view value() const noexcept {
        const ListView list = lists.get(0);
        return list.empty() ? std::string_view() : list[0];
    }
    void set_value(std::string_view value) {
        if (value.empty()) {
            lists = PackedLists<1>();
            return;
        }
        const std::string_view items[] = {value};
        lists.assign(0, ListSource(items));
    }

    friend bool operator==(const Other& a, const Other& b) noexcept { return a.value() == b.value(); }
    friend std::strong_ordering operator<=>(const Other& a, const Other& b) noexcept {
        return compare_text(a.value(), b.value());
    }
};

// nightly
template <class Sink> void put_text(Sink& out, const Other& v) { out.utf8(v.value()); }
inline void append_text(std::string& out, const Other& v) { out.append(v.value()); }
// Other { value: "nightly" }
void append_debug(std::string& out, const Other& v);

}  // namespace vorna
