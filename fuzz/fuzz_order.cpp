// Fuzz target: the order and equality of arbitrary values. Three values are
// built (often as small variations of one another, so that ties and common
// prefixes occur) and every pair and triple is checked against the laws of a
// total order, against a reference order written over plain containers, and
// against the rules particular to versions: `meta` never matters, an absent
// `rc` ranks above every present one, and kinds rank in their declared order.
#include <algorithm>
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_common.hpp"

namespace {

using vorna::fuzz::check;
using vorna::fuzz::PlainSemVer;
using vorna::fuzz::PlainValue;
using vorna::fuzz::Strings;
using vorna::fuzz::to_model;
using vorna::fuzz::to_plain;

// Texts order as their bytes read unsigned; a proper prefix is less.
std::strong_ordering reference(std::string_view a, std::string_view b) {
    const auto as_byte = [](char c) { return static_cast<unsigned char>(c); };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) return as_byte(a[i]) <=> as_byte(b[i]);
    }
    return a.size() <=> b.size();
}

std::strong_ordering reference(const Strings& a, const Strings& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (const auto c = reference(a[i], b[i]); c != 0) return c;
    }
    return a.size() <=> b.size();
}

std::strong_ordering reference(const PlainSemVer& a, const PlainSemVer& b) {
    if (a.major != b.major) return a.major <=> b.major;
    if (a.minor != b.minor) return a.minor <=> b.minor;
    if (a.patch != b.patch) return a.patch <=> b.patch;
    if (a.rc && b.rc) return reference(*a.rc, *b.rc);
    if (a.rc) return std::strong_ordering::less;  // a pre-release, however empty, ranks lower
    return b.rc ? std::strong_ordering::greater : std::strong_ordering::equal;
}

std::strong_ordering reference(const PlainValue& a, const PlainValue& b) {
    if (a.kind != b.kind) return a.kind <=> b.kind;
    switch (a.kind) {
        case vorna::VersionKind::SemVer: return reference(a.semver, b.semver);
        case vorna::VersionKind::DotSeparated: return reference(a.parts, b.parts);
        case vorna::VersionKind::Other: break;
    }
    return reference(a.value, b.value);
}

// Equality and the three-way order of a pair agree with each other, with the
// swapped pair and with the reference.
template <class T> void check_pair(const T& a, const T& b, std::strong_ordering expected) {
    const std::strong_ordering ab = a <=> b;
    const std::strong_ordering ba = b <=> a;
    check(ab == expected, "order differs from the reference");
    check(ba == (0 <=> ab), "order is not antisymmetric");
    check((a == b) == (ab == 0) && (b == a) == (a == b), "equality disagrees with the order");
    check((a != b) == !(a == b), "!= is not the negation of ==");
}

template <class T> void check_triple(const T& a, const T& b, const T& c) {
    if ((a <=> b) <= 0 && (b <=> c) <= 0) check((a <=> c) <= 0, "order is not transitive");
    if ((a <=> b) < 0 && (b <=> c) <= 0) check((a <=> c) < 0, "strict order is not transitive");
    if (a == b && b == c) check(a == c, "equality is not transitive");
}

// The same pair and triple checks on the values inside, when of one kind.
template <class T> void check_inner(const std::array<vorna::Version, 3>& v, const std::array<PlainValue, 3>& plain) {
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            const T* a = v[i].get_if<T>();
            const T* b = v[j].get_if<T>();
            if (!a || !b) continue;
            check_pair(*a, *b, reference(plain[i], plain[j]));
            for (std::size_t k = 0; k < 3; ++k) {
                if (const T* c = v[k].get_if<T>()) check_triple(*a, *b, *c);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorna::fuzz::ValueReader in(data, size);
    std::array<PlainValue, 3> plain;
    plain[0] = in.value();
    for (std::size_t i = 1; i < 3; ++i) plain[i] = in.byte() & 1 ? in.variant_of(plain[in.byte() % i]) : in.value();
    const std::array<vorna::Version, 3> v = {to_model(plain[0]), to_model(plain[1]), to_model(plain[2])};

    for (std::size_t i = 0; i < 3; ++i) {
        check(to_plain(v[i]) == plain[i], "the model does not hold the value it was built from");
        check(v[i] == v[i] && (v[i] <=> v[i]) == 0, "a value is not equal to itself");
        for (std::size_t j = 0; j < 3; ++j) {
            check_pair(v[i], v[j], reference(plain[i], plain[j]));
            for (std::size_t k = 0; k < 3; ++k) check_triple(v[i], v[j], v[k]);
        }
    }
    check_inner<vorna::SemVer>(v, plain);
    check_inner<vorna::DotSeparated>(v, plain);
    check_inner<vorna::Other>(v, plain);

    // `meta` takes no part: replacing it changes neither order nor equality,
    // and an absent `rc` ranks above any present one, the empty list included.
    for (std::size_t i = 0; i < 3; ++i) {
        if (plain[i].kind != vorna::VersionKind::SemVer) continue;
        PlainSemVer other_meta = plain[i].semver;
        other_meta.meta = in.optional_list();
        const vorna::SemVer changed = to_model(other_meta);
        const vorna::SemVer& original = *v[i].get_if<vorna::SemVer>();
        check(changed == original && (changed <=> original) == 0, "meta changed equality or order");
        for (std::size_t j = 0; j < 3; ++j) {
            if (const vorna::SemVer* b = v[j].get_if<vorna::SemVer>()) {
                check((changed <=> *b) == (original <=> *b) && (changed == *b) == (original == *b),
                      "meta changed the order against another value");
            }
        }
        PlainSemVer released = plain[i].semver;
        released.rc.reset();
        const vorna::SemVer without_rc = to_model(released);
        if (plain[i].semver.rc) {
            check(original < without_rc && original != without_rc, "a pre-release is not below its release");
        }
    }
    return 0;
}
