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
    // The lists of a matched text: one present list of one item.
    Other(std::in_place_t, const MatchedLists<1>& value) : lists(value) {}

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
inline std::size_t text_size(const Other& v) noexcept { return v.value().size(); }
inline char* write_text(char* out, const Other& v) noexcept {
    const std::string_view value = v.value();
    return value.empty() ? out : static_cast<char*>(std::memcpy(out, value.data(), value.size())) + value.size();
}
inline bool text_is_ascii(const Other& v) noexcept { return is_ascii(v.value()); }
inline void append_text(std::string& out, const Other& v) { out.append(v.value()); }
// Other { value: "nightly" }
void append_debug(std::string& out, const Other& v);

}  // namespace vorna
