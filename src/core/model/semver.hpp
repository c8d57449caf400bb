// A semantic version: three numbers, an optional pre-release list and an
// optional build list. Absent and present-but-empty lists are distinct.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "core/model/packed_lists.hpp"
#include "core/unicode/text_forms.hpp"

namespace vorna {

struct SemVer {
    // Set by construction and never changed (see KindTag).
    KindTag tag{VersionKind::SemVer};
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    // The pre-release list first, then the build list.
    PackedLists<2> lists;

    SemVer() noexcept = default;
    SemVer(std::uint32_t major, std::uint32_t minor, std::uint32_t patch,
           const std::optional<ListSource>& rc = std::nullopt, const std::optional<ListSource>& meta = std::nullopt)
        : major(major), minor(minor), patch(patch), lists({rc, meta}) {}
    // The lists of a matched text, built in place, in `room` when one is given.
    SemVer(std::uint32_t major, std::uint32_t minor, std::uint32_t patch, const MatchedLists<2>& lists, BlockRoom room)
        : major(major), minor(minor), patch(patch), lists(lists, room) {}

    // Pre-release identifiers; nullopt when absent.
    std::optional<ListView> rc() const noexcept { return lists.get_if_present(0); }
    // Build metadata; nullopt when absent. Never compared.
    std::optional<ListView> meta() const noexcept { return lists.get_if_present(1); }
    void set_rc(const std::optional<ListSource>& rc) { lists.assign(0, rc); }
    void set_meta(const std::optional<ListSource>& meta) { lists.assign(1, meta); }

    // Equality and order ignore `meta`. An absent `rc` ranks above any
    // present one, the empty list included.
    friend bool operator==(const SemVer& a, const SemVer& b) noexcept {
        return a.major == b.major && a.minor == b.minor && a.patch == b.patch && equal_rc(a, b);
    }
    friend std::strong_ordering operator<=>(const SemVer& a, const SemVer& b) noexcept {
        if (a.major != b.major) return a.major <=> b.major;
        if (a.minor != b.minor) return a.minor <=> b.minor;
        if (a.patch != b.patch) return a.patch <=> b.patch;
        return compare_rc(a, b);
    }
    // a < b in the same order. Where the numbers differ, as they nearly
    // always do in a sort, the answer is worked out without branching on it:
    // the caller branches on it anyway, and a second branch that cannot be
    // predicted would cost as much again.
    friend bool is_less(const SemVer& a, const SemVer& b) noexcept {
        const std::uint64_t a_low = (std::uint64_t{a.minor} << 32) | a.patch;
        const std::uint64_t b_low = (std::uint64_t{b.minor} << 32) | b.patch;
        if (a.major == b.major && a_low == b_low) [[unlikely]] return compare_rc(a, b) < 0;
        return (a.major < b.major) | ((a.major == b.major) & (a_low < b_low));
    }

private:
    // The pre-release lists, once the numbers are equal.
    static bool equal_rc(const SemVer& a, const SemVer& b) noexcept;
    static std::strong_ordering compare_rc(const SemVer& a, const SemVer& b) noexcept;
};

// 1.2.3-rc.1+build.5, written into `out` (see TextCount and CharWriter).
template <class Sink> void put_text(Sink& out, const SemVer& v) {
    put_number(out, v.major);
    out.ascii(".");
    put_number(out, v.minor);
    out.ascii(".");
    put_number(out, v.patch);
    if (v.lists.present(0)) {
        out.ascii("-");
        put_joined(out, v.lists.get(0));
    }
    if (v.lists.present(1)) {
        out.ascii("+");
        put_joined(out, v.lists.get(1));
    }
}
inline void append_text(std::string& out, const SemVer& v) {
    Utf8Sink sink(out);
    put_text(sink, v);
}
// SemVer { major: 1, minor: 2, patch: 3, rc: Some(["rc", "1"]), meta: None }
void append_debug(std::string& out, const SemVer& v);

}  // namespace vorna
