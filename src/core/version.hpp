// A version of any kind: exactly one SemVer, DotSeparated or Other.
#pragma once

#include <compare>
#include <string>
#include <variant>

#include "core/dot_separated.hpp"
#include "core/other.hpp"
#include "core/semver.hpp"

namespace vorna {

// The kinds in their declared order, which is also their rank in the order
// of versions: every SemVer is less than every DotSeparated, and so on.
enum class VersionKind : unsigned char { SemVer = 0, DotSeparated = 1, Other = 2 };

class Version {
public:
    using Value = std::variant<SemVer, DotSeparated, Other>;

    // The blank version is SemVer 0.0.0 without lists, as a fresh instance
    // holds before a value is stored in it.
    Version() noexcept = default;
    Version(SemVer v) noexcept : value_(std::move(v)) {}
    Version(DotSeparated v) noexcept : value_(std::move(v)) {}
    Version(Other v) noexcept : value_(std::move(v)) {}

    VersionKind kind() const noexcept { return static_cast<VersionKind>(value_.index()); }
    const Value& value() const noexcept { return value_; }
    Value& value() noexcept { return value_; }

    // The inner value when it is of kind T, else null.
    template <class T> const T* get_if() const noexcept { return std::get_if<T>(&value_); }
    template <class T> T* get_if() noexcept { return std::get_if<T>(&value_); }

    friend bool operator==(const Version& a, const Version& b) noexcept { return a.value_ == b.value_; }
    // std::variant orders by index first, then by the held values.
    friend std::strong_ordering operator<=>(const Version& a, const Version& b) noexcept { return a.value_ <=> b.value_; }

private:
    Value value_;
};

// The text form of the held value; the kind does not show.
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
