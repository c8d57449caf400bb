// A text sink that writes code units of one width (1, 2 or 4 bytes, the
// three forms a host string may take) into storage it knows the end of.
//
// The storage was made from a measure of the same drawing: its length in
// characters and its widest character, which chose the unit. Drawing must
// fill it exactly and with exactly that widest character; anything else is
// a fault of this module, and the process ends before a unit lands past the
// end or a character is cut to fit its unit.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "core/platform/fault.hpp"
#include "core/unicode/text_sink.hpp"

namespace vorna {

template <class Unit> class UnitSink {
public:
    // `widest` as a TextMeasure gives it: 0 for no characters, else 0x7F or
    // more, and within the unit.
    UnitSink(std::span<Unit> out, char32_t widest) noexcept
        : out_(out.data()), begin_(out.data()), end_(out.data() + out.size()), widest_(widest) {
        if (widest > char32_t(Unit(-1))) internal_fault("a text sink's widest character does not fit its unit");
        if (out.empty() ? widest != 0 : widest < 0x7F) {
            internal_fault("a text sink was given a widest character that no measure gives");
        }
    }

    // ASCII fits any storage that holds a character at all, so only the
    // room is checked.
    void ascii(std::string_view text) noexcept {
        room_for(text.size());
        // A plain widening loop, which the compiler vectorises.
        const auto* data = reinterpret_cast<const unsigned char*>(text.data());
        for (std::size_t i = 0; i < text.size(); ++i) out_[i] = static_cast<Unit>(data[i]);
        out_ += text.size();
    }
    void repeat(char32_t c, std::size_t count) noexcept {
        room_for(count);
        if (c > widest_) [[unlikely]] refuse(false);
        if (count != 0 && c > seen_) seen_ = c;
        for (std::size_t i = 0; i < count; ++i) out_[i] = static_cast<Unit>(c);
        out_ += count;
    }
    void put(char32_t c) noexcept {
        if (out_ == end_) [[unlikely]] refuse(true);
        if (c > widest_) [[unlikely]] refuse(false);
        if (c > seen_) seen_ = c;
        *out_++ = static_cast<Unit>(c);
    }
    void utf8(std::string_view text) noexcept { put_decoded(*this, text); }
    // Units drawn before (a DraftSink's), whose greatest character is
    // `widest`: checked once against the room and the unit, then copied.
    void units(std::span<const std::uint16_t> drawn, char32_t widest) noexcept {
        room_for(drawn.size());
        if (widest > widest_) [[unlikely]] refuse(false);
        if (!drawn.empty() && widest > seen_) seen_ = widest;
        if constexpr (sizeof(Unit) == sizeof(std::uint16_t)) {
            if (!drawn.empty()) std::memcpy(out_, drawn.data(), drawn.size_bytes());
        } else {
            for (std::size_t i = 0; i < drawn.size(); ++i) out_[i] = static_cast<Unit>(drawn[i]);
        }
        out_ += drawn.size();
    }

    // Called once the drawing is done: it must have filled the storage and
    // reached the widest character the storage was made for (all of ASCII
    // counting as 0x7F, as in a TextMeasure).
    void finish() const noexcept {
        if (out_ != end_) internal_fault("a text sink was left short of the length measured for it");
        const char32_t reached = seen_ >= 0x80 ? seen_ : out_ != begin_ ? char32_t{0x7F} : char32_t{0};
        if (reached != widest_) internal_fault("a text sink did not reach the widest character measured for it");
    }

private:
    void room_for(std::size_t count) noexcept {
        if (count > static_cast<std::size_t>(end_ - out_)) [[unlikely]] refuse(true);
    }
    // Out of line, so that a piece pays no more than a compare and a branch
    // for each check.
    [[noreturn]] static void refuse(bool past_the_end) noexcept;

    Unit* out_;
    Unit* const begin_;
    Unit* const end_;
    const char32_t widest_;
    char32_t seen_ = 0;  // the greatest character put, ASCII pieces aside
};

template <class Unit> void UnitSink<Unit>::refuse(bool past_the_end) noexcept {
    if (past_the_end) internal_fault("a text sink was given more than the length measured for it");
    internal_fault("a text sink was given a character wider than measured for it");
}

}  // namespace vorna
