// The text forms of one list (joined by dots, or quoted for a debug form),
// and the sinks the text forms of the values are counted and written
// through.
//
// A value's text form is written once, by its put_text, against a sink (the
// pieces of core/unicode/text_sink.hpp: `ascii` for numbers and separators,
// `utf8` for the items, which may hold any bytes). Run into a TextCount it
// gives the text's size and whether it is ASCII; run into a CharWriter it
// writes the text into storage whose end the writer holds; run into a
// Utf8Sink it appends to a string. The count is the writing run into a
// counter, so no second copy of the arithmetic has to agree with it.
#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <system_error>
#include <span>
#include <string>
#include <string_view>

#include "core/model/list_view.hpp"
#include "core/unicode/text_forms.hpp"
#include "core/unicode/text_sink.hpp"

namespace vorna {

// The texts with "." between neighbours: one piece, as the block holds them.
template <class Sink> void put_joined(Sink& out, const ListView& list) { out.utf8(list.text()); }
// Appends ["a", "b"]: the quoted texts, ", " between neighbours.
void append_quoted_list(std::string& out, const ListView& list);

// A number in decimal, through a sink's own way with numbers when it has one.
template <class Sink, std::unsigned_integral N> void put_number(Sink& out, N n) {
    if constexpr (requires { out.decimal(n); }) {
        out.decimal(n);
    } else {
        put_decimal(out, n);
    }
}

// The size of a text form in bytes, and whether every byte is ASCII.
class TextCount {
public:
    void ascii(std::string_view text) noexcept { size_ += text.size(); }
    void utf8(std::string_view text) noexcept {
        size_ += text.size();
        // Items are short: a byte loop beats a call.
        for (const char c : text) high_ |= static_cast<unsigned char>(c);
    }

    // A number is counted, not written.
    template <std::unsigned_integral N> void decimal(N n) noexcept { size_ += decimal_size(n); }

    std::size_t size() const noexcept { return size_; }
    bool is_ascii_text() const noexcept { return high_ < 0x80; }

private:
    std::size_t size_ = 0;
    unsigned high_ = 0;  // the bits of every item byte
};

// Writes bytes into storage it knows the end of (a str made from a
// TextCount of the same text). A piece that would run past the end, and
// storage left short when the writing is done, are faults of this module:
// the process ends before a byte lands past the end or a str is handed out
// with bytes never written.
class CharWriter {
public:
    explicit CharWriter(std::span<char> out) noexcept : at_(out.data()), end_(out.data() + out.size()) {}

    void ascii(std::string_view text) noexcept { bytes(text); }
    void utf8(std::string_view text) noexcept { bytes(text); }
    // A number's digits go straight where they belong, within the end.
    template <std::unsigned_integral N> void decimal(N n) noexcept {
        const std::to_chars_result written = std::to_chars(at_, end_, n);
        if (written.ec != std::errc()) [[unlikely]] refuse(true);
        at_ = written.ptr;
    }
    // Called once the writing is done: the storage must be filled exactly.
    void finish() const noexcept {
        if (at_ != end_) [[unlikely]] refuse(false);
    }

private:
    void bytes(std::string_view text) noexcept {
        if (text.size() > static_cast<std::size_t>(end_ - at_)) [[unlikely]] refuse(true);
        // Pieces are short: a byte loop beats a library call per piece.
        for (const char c : text) *at_++ = c;
    }
    // Out of line, so that a piece pays no more than a compare and a branch.
    [[noreturn]] static void refuse(bool past_the_end) noexcept;

    char* at_;
    char* const end_;
};

}  // namespace vorna
