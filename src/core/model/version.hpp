// A version of any kind: exactly one SemVer, DotSeparated or Other.
#pragma once

#include <compare>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "core/model/dot_separated.hpp"
#include "core/model/other.hpp"
#include "core/model/semver.hpp"

namespace vorna {

// The kinds share their first member, the tag, so the value held is told
// apart without a discriminator of its own and a Version is no larger than
// its largest kind.
class Version {
public:
    // Calls `f` with the inner value.
    template <class F> decltype(auto) visit(F&& f) const {
        switch (kind()) {
            case VersionKind::DotSeparated: return f(storage_.dotted);
            case VersionKind::Other: return f(storage_.other);
            case VersionKind::SemVer: break;
        }
        return f(storage_.semver);
    }
    template <class F> decltype(auto) visit(F&& f) {
        switch (kind()) {
            case VersionKind::DotSeparated: return f(storage_.dotted);
            case VersionKind::Other: return f(storage_.other);
            case VersionKind::SemVer: break;
        }
        return f(storage_.semver);
    }

    // The blank version is SemVer 0.0.0 without lists, as a fresh instance
    // holds before a value is stored in it.
    Version() noexcept : Version(SemVer()) {}
    Version(SemVer v) noexcept { new (&storage_.semver) SemVer(std::move(v)); }
    // A value of kind T constructed in place from `args`.
    template <class T, class... Args> explicit Version(std::in_place_type_t<T>, Args&&... args) {
        new (&member<T>()) T(std::forward<Args>(args)...);
    }
    Version(DotSeparated v) noexcept { new (&storage_.dotted) DotSeparated(std::move(v)); }
    Version(Other v) noexcept { new (&storage_.other) Other(std::move(v)); }
    Version(const Version& other) {
        other.visit([&](const auto& inner) { construct(inner); });
    }
    Version(Version&& other) noexcept {
        other.visit([&](auto& inner) { construct(std::move(inner)); });
    }
    Version& operator=(const Version& other) {
        if (this != &other) *this = Version(other);
        return *this;
    }
    Version& operator=(Version&& other) noexcept {
        if (this != &other) {
            destroy();
            other.visit([&](auto& inner) { construct(std::move(inner)); });
        }
        return *this;
    }
    ~Version() { destroy(); }

    // Replaces the value by a blank T and returns it, to be filled in place.
    template <class T> T& emplace() noexcept {
        destroy();
        return *new (&member<T>()) T();
    }

    // Reading the tag through any member is allowed: it is the common
    // initial member of the three standard-layout kinds.
    VersionKind kind() const noexcept { return storage_.semver.tag.kind; }

    // The inner value when it is of kind T, else null.
    template <class T> const T* get_if() const noexcept {
        return kind() == kind_of<T>() ? &member<T>() : nullptr;
    }
    template <class T> T* get_if() noexcept { return kind() == kind_of<T>() ? &member<T>() : nullptr; }

    friend bool operator==(const Version& a, const Version& b) noexcept {
        if (a.kind() != b.kind()) return false;
        return a.visit([&](const auto& inner) { return inner == b.member<std::remove_cvref_t<decltype(inner)>>(); });
    }
    // Kinds in their declared order first, then the values of one kind.
    friend std::strong_ordering operator<=>(const Version& a, const Version& b) noexcept {
        if (a.kind() != b.kind()) return a.kind() <=> b.kind();
        return a.visit([&](const auto& inner) { return inner <=> b.member<std::remove_cvref_t<decltype(inner)>>(); });
    }

private:
    template <class T> static constexpr VersionKind kind_of() noexcept {
        if constexpr (std::is_same_v<T, SemVer>) {
            return VersionKind::SemVer;
        } else if constexpr (std::is_same_v<T, DotSeparated>) {
            return VersionKind::DotSeparated;
        } else {
            static_assert(std::is_same_v<T, Other>);
            return VersionKind::Other;
        }
    }
    template <class T> const T& member() const noexcept {
        if constexpr (std::is_same_v<T, SemVer>) {
            return storage_.semver;
        } else if constexpr (std::is_same_v<T, DotSeparated>) {
            return storage_.dotted;
        } else {
            return storage_.other;
        }
    }
    template <class T> T& member() noexcept { return const_cast<T&>(std::as_const(*this).member<T>()); }
    template <class T> void construct(T&& inner) {
        using Kind = std::remove_cvref_t<T>;
        new (&member<Kind>()) Kind(std::forward<T>(inner));
    }
    void destroy() noexcept {
        visit([](auto& inner) {
            using Kind = std::remove_reference_t<decltype(inner)>;
            inner.~Kind();
        });
    }

    union Storage {
        Storage() noexcept {}
        ~Storage() {}
        SemVer semver;
        DotSeparated dotted;
        Other other;
    } storage_;
};

static_assert(std::is_standard_layout_v<SemVer> && std::is_standard_layout_v<DotSeparated> &&
              std::is_standard_layout_v<Other>);
static_assert(sizeof(Version) == sizeof(SemVer));

// The text form of the held value; the kind does not show.
template <class Sink> void put_text(Sink& out, const Version& v) {
    v.visit([&](const auto& inner) { put_text(out, inner); });
}
void append_text(std::string& out, const Version& v);
// "Version::" followed by the debug form of the held value.
void append_debug(std::string& out, const Version& v);

// Convenience for callers that want a fresh string.
template <class T> std::string to_text(const T& v) {
    std::string out;
    append_text(out, v);
    return out;
}
template <class T> std::string to_debug(const T& v) {
    std::string out;
    append_debug(out, v);
    return out;
}

}  // namespace vorna
