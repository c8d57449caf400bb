// The matcher of the version grammars: a hand-written descent over the bytes
// of the text that decides acceptance and records where the pieces of the
// value lie, without building anything. Iteration only; no rule recurses.
//
// It is built with a tracker (see pending_issue.hpp). With NullTracker it is
// the cheap recogniser of the success path; with IssueTracker it also keeps
// the pending issue that a failure reports. Control flow never depends on
// the tracker, so both accept exactly the same texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/grammar/pending_issue.hpp"
#include "core/model/block_layout.hpp"
#include "core/unicode/unicode.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna::grammar {

// The characters a dot-separated part is made of, in their defining order.
inline constexpr std::string_view part_characters = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-";

namespace detail {

enum : std::uint8_t { part_bit = 1, digit_bit = 2, identifier_start_bit = 4, identifier_continue_bit = 8 };

// Class bits of every byte value; only ASCII characters have any. An
// identifier starts with "_" or an XID_Start character and continues with
// XID_Continue characters; the ASCII answers are the Unicode lookups' own.
constexpr std::array<std::uint8_t, 256> make_byte_classes() {
    std::array<std::uint8_t, 256> table{};
    for (const char c : part_characters) table[static_cast<unsigned char>(c)] |= part_bit;
    for (char32_t c = 0; c < 0x80; ++c) {
        if (c >= '0' && c <= '9') table[c] |= digit_bit;
        if (c == '_' || unicode::ascii_xid_start(c)) table[c] |= identifier_start_bit;
        if (unicode::ascii_xid_continue(c)) table[c] |= identifier_continue_bit;
    }
    return table;
}
inline constexpr std::array<std::uint8_t, 256> byte_classes = make_byte_classes();

constexpr bool byte_has(char byte, std::uint8_t bit) noexcept {
    return (byte_classes[static_cast<unsigned char>(byte)] & bit) != 0;
}

}  // namespace detail

// Where the fields of a semantic version lie.
struct SemVerShape {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    bool has_rc = false;
    bool has_meta = false;
    DottedRange rc;
    DottedRange meta;
};

template <class Tracker> class Matcher {
public:
    explicit Matcher(std::string_view text) noexcept : text_(text) {}

    // Each whole-text rule starts at byte 0 and must consume the whole text.
    // The tracker keeps what earlier rules recorded: an alternative that
    // fails withdraws none of its issues.

    // [ "v" ] Core [ "-" DotList ] [ "+" DotList ] END
    bool semver_text(SemVerShape& out) {
        pos_ = 0;
        literal('v', Expect::TokenV);
        if (!integer(out.major) || !literal('.', Expect::TokenDot) || !integer(out.minor) ||
            !literal('.', Expect::TokenDot) || !integer(out.patch)) {
            return false;
        }
        out.has_rc = literal('-', Expect::TokenHyphen);
        if (out.has_rc) out.rc = dot_list();
        out.has_meta = literal('+', Expect::TokenPlus);
        if (out.has_meta) out.meta = dot_list();
        return end();
    }

    // DotList END
    bool dot_separated_text(DottedRange& out) {
        pos_ = 0;
        out = dot_list();
        return end();
    }

    // Identifier END; the identifier is then the whole text.
    bool other_text() noexcept {
        pos_ = 0;
        return identifier() && end();
    }

    Tracker& tracker() noexcept { return tracker_; }
    const Tracker& tracker() const noexcept { return tracker_; }

private:
    bool at_end() const noexcept { return pos_ >= text_.size(); }
    unsigned char byte() const noexcept { return static_cast<unsigned char>(text_[pos_]); }

    bool literal(char c, Expect e) noexcept {
        if (!at_end() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        tracker_.record(pos_, e);
        return false;
    }

    bool end() noexcept {
        if (at_end()) return true;
        tracker_.record(pos_, Expect::EndOfInput);
        return false;
    }

    // The end of the run of bytes of one ASCII class that starts at `from`.
    std::size_t skip_class(std::size_t from, std::uint8_t bit) const noexcept {
        const auto* data = reinterpret_cast<const unsigned char*>(text_.data());
        const std::size_t size = text_.size();
        // Runs are mostly short: a byte at a time first.
        for (const std::size_t first = size - from < 16 ? size : from + 16; from < first; ++from) {
            if (!detail::byte_has(text_[from], bit)) return from;
        }
        // Long runs are taken eight bytes a step: one test of the classes of
        // all eight together instead of a branch per byte.
        while (size - from >= 8) {
            const auto& c = detail::byte_classes;
            const std::uint8_t all = c[data[from]] & c[data[from + 1]] & c[data[from + 2]] & c[data[from + 3]] &
                                     c[data[from + 4]] & c[data[from + 5]] & c[data[from + 6]] & c[data[from + 7]];
            if ((all & bit) == 0) break;
            from += 8;
        }
        while (from < size && detail::byte_has(text_[from], bit)) ++from;
        return from;
    }

    // Part character +. Each failed character test is labelled on its own,
    // which amounts to recording the label where it looked.
    bool segment() noexcept {
        const std::size_t start = pos_;
        pos_ = skip_class(start, detail::part_bit);
        tracker_.record(pos_, Expect::PartCharacter);
        return pos_ != start;
    }

    // [ Segment ( "." Segment )* ], labelled "dot-separated list". A dot not
    // followed by a segment is given back.
    DottedRange dot_list() {
        const std::size_t start = pos_;
        const auto scope = tracker_.open();
        DottedRange list{start, start, 0};
        if (segment()) {
            list.count = 1;
            while (literal('.', Expect::TokenDot)) {
                if (!segment()) {
                    --pos_;
                    break;
                }
                ++list.count;
            }
        }
        list.end = pos_;
        tracker_.close(scope, start, Expect::DotList);
        return list;
    }

    // Digit +, labelled "integer". A value above 4294967295 fails the rule
    // with a free message over all its digits; leading zeros do not count.
    bool integer(std::uint32_t& out) noexcept {
        constexpr std::uint64_t max = 0xFFFF'FFFF;
        const std::size_t start = pos_;
        const auto scope = tracker_.open();
        // The digits are read and summed in one walk, in locals. Once the
        // sum passes the maximum it stays one past it, so it never wraps.
        std::uint64_t value = 0;
        const auto* data = reinterpret_cast<const unsigned char*>(text_.data());
        const std::size_t size = text_.size();
        std::size_t pos = pos_;
        for (unsigned digit; pos < size && (digit = data[pos] - unsigned('0')) < 10; ++pos) {
            value = value * 10 + digit;
            if (value > max) [[unlikely]] {
                value = max + 1;
                while (++pos < size && data[pos] - unsigned('0') < 10) {
                }
                break;
            }
        }
        pos_ = pos;
        tracker_.record(pos_, Expect::Digit);
        bool ok = pos_ != start;
        if (ok && value > max) {
            tracker_.fail_with(start, pos_, Message::IntegerTooLarge);
            pos_ = start;
            ok = false;
        }
        tracker_.close(scope, start, Expect::Integer);
        if (ok) out = static_cast<std::uint32_t>(value);
        return ok;
    }

    // Advances over one identifier character, if there is one: an
    // identifier start when `first`, else an identifier continue.
    bool skip_identifier_character(bool first) noexcept {
        if (byte() < 0x80) {
            const std::uint8_t bit = first ? detail::identifier_start_bit : detail::identifier_continue_bit;
            if (!detail::byte_has(text_[pos_], bit)) return false;
            ++pos_;
            return true;
        }
        const utf8::Decoded d = utf8::decode(text_, pos_);
        if (!(first ? unicode::is_xid_start(d.scalar) : unicode::is_xid_continue(d.scalar))) return false;
        pos_ += d.length;
        return true;
    }

    // Identifier start, then identifier continue *; every character test is
    // labelled "identifier".
    bool identifier() noexcept {
        const bool matched = !at_end() && skip_identifier_character(true);
        while (matched) {
            pos_ = skip_class(pos_, detail::identifier_continue_bit);
            if (at_end() || byte() < 0x80 || !skip_identifier_character(false)) break;
        }
        tracker_.record(pos_, Expect::Identifier);
        return matched;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    Tracker tracker_;
};

}  // namespace vorna::grammar
