// The quick accept path of the semantic-version grammar: one straight walk
// over the bytes that sums the numbers as it reads them and counts the items
// of the lists, with no call per rule and no tracking. It accepts exactly
// the texts the matcher's semver_text accepts and records the same shape;
// whatever it turns down (every failure, and a number past 32 bits) goes to
// the matcher, which alone decides and reports failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/grammar/matcher.hpp"
#include "core/model/block_layout.hpp"
#include "core/platform/inlining.hpp"

namespace vorna::grammar {

namespace detail {

// `Terminated`: the byte just past the text is readable and NUL, as it is
// in a host string's buffer; no rule takes a NUL, so each loop stops there
// without also comparing against the end.
template <bool Terminated> class SemVerScan {
public:
    explicit SemVerScan(std::string_view text) noexcept
        : begin_(reinterpret_cast<const unsigned char*>(text.data())), at_(begin_), end_(begin_ + text.size()) {}

    bool run(SemVerShape& out) noexcept {
        if (more(at_) && *at_ == 'v') ++at_;
        if (!number(out.major) || !dot() || !number(out.minor) || !dot() || !number(out.patch)) return false;
        out.has_rc = take('-');
        if (out.has_rc && !list(out.rc)) return false;
        out.has_meta = take('+');
        if (out.has_meta && !list(out.meta)) return false;
        return at_ == end_;
    }

private:
    bool take(unsigned char c) noexcept {
        if (!more(at_) || *at_ != c) return false;
        ++at_;
        return true;
    }
    bool dot() noexcept { return take('.'); }
    bool more(const unsigned char* at) const noexcept { return Terminated || at != end_; }
    bool part(const unsigned char* at) const noexcept { return more(at) && byte_has(char(*at), part_bit); }

    // Digit +, up to 4294967295.
    bool number(std::uint32_t& out) noexcept {
        const unsigned char* const start = at_;
        std::uint64_t value = 0;
        for (unsigned digit; more(at_) && (digit = *at_ - unsigned('0')) < 10; ++at_) {
            value = value * 10 + digit;
            if (value > 0xFFFF'FFFF) [[unlikely]] return false;
        }
        out = static_cast<std::uint32_t>(value);
        return at_ != start;
    }

    // [ Segment ( "." Segment )* ]; a dot that no segment follows is turned
    // down, since nothing after a list may start with one.
    VORNA_ALWAYS_INLINE bool list(DottedRange& out) noexcept {
        const unsigned char* const start = at_;
        std::size_t count = 0;
        while (part(at_)) {
            do ++at_;
            while (part(at_));
            ++count;
            if (!take('.')) break;
            if (!part(at_)) return false;
        }
        out = {static_cast<std::size_t>(start - begin_), static_cast<std::size_t>(at_ - begin_), count};
        return true;
    }

    const unsigned char* begin_;
    const unsigned char* at_;
    const unsigned char* end_;
};

}  // namespace detail

// True with the shape when `text` is a semantic version; false leaves `out`
// unspecified, and the text to the matcher.
inline bool scan_semver(std::string_view text, SemVerShape& out) noexcept {
    return detail::SemVerScan<false>(text).run(out);
}
// The same for a text followed by a NUL byte that may be read (a host
// string's buffer): the same walk without a comparison against the end.
inline bool scan_semver_terminated(std::string_view text, SemVerShape& out) noexcept {
    return detail::SemVerScan<true>(text).run(out);
}

}  // namespace vorna::grammar
