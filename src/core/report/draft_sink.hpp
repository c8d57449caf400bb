// A text sink that draws into fixed scratch storage of 16-bit units while
// the text fits there, and measures the whole text all the while.
//
// A report is nearly always a few hundred characters of the Basic
// Multilingual Plane: drawn once into scratch on the stack, it is then
// copied into a str made from the draft's own measure, where measuring it
// first would draw it twice. A text too long for the scratch, or with a
// character past 0xFFFF, leaves no draft, only its measure; it is then drawn
// again into its str.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "core/platform/inlining.hpp"
#include "core/unicode/text_sink.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace vorna {

class DraftSink {
public:
    explicit DraftSink(std::span<std::uint16_t> scratch) noexcept : scratch_(scratch) {}

    // Every piece is counted; it is written only where the scratch holds it
    // whole, so nothing lands past its end, and a text that outgrows it is
    // no draft. An ASCII piece lies in memory, and no run of them wraps the
    // length; a repeated character's count is worked out, and may.
    VORNA_ALWAYS_INLINE void ascii(std::string_view text) noexcept {
        const std::size_t end = length_ + text.size();
        if (fits(end, text.size())) {
            widen(scratch_.data() + length_, reinterpret_cast<const unsigned char*>(text.data()), text.size());
        }
        length_ = end;
    }
    void repeat(char32_t c, std::size_t count) noexcept {
        if (count != 0 && c > widest_) widest_ = c;
        const std::size_t end = length_ + count;
        if (fits(end, count)) {
            std::uint16_t* const out = scratch_.data() + length_;
            for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint16_t>(c);
        } else {
            wrapped_ |= end < count;
        }
        length_ = end;
    }
    void put(char32_t c) noexcept {
        if (c > widest_) widest_ = c;
        if (length_ < scratch_.size()) scratch_[length_] = static_cast<std::uint16_t>(c);
        ++length_;
    }
    void utf8(std::string_view text) noexcept { put_decoded(*this, text); }

    // The text's length and widest character (0x7F for ASCII, 0 for the
    // empty text), as a TextMeasure holds them; the UTF-8 size is left 0.
    // Over empty scratch a draft is a measure only.
    TextMeasure measure() const noexcept {
        return {length_, widest_ >= 0x80 ? widest_ : length_ != 0 ? char32_t{0x7F} : char32_t{0}, 0};
    }
    // The drawn units, when the whole text lies in the scratch: it fitted,
    // and no character was cut to 16 bits.
    std::optional<std::span<const std::uint16_t>> drafted() const noexcept {
        if (length_ > scratch_.size() || widest_ > 0xFFFF || wrapped_) return std::nullopt;
        return scratch_.first(length_);
    }

private:
    // Widens `size` bytes to units. Pieces are mostly a few bytes long, so
    // there is no loop over bytes: four bytes widen in one 64-bit word (two
    // words, overlapping, for four to seven), eight in one vector step
    // where the machine has one (the last step overlapping the one before),
    // and only a piece under four bytes goes byte by byte.
    VORNA_ALWAYS_INLINE static void widen(std::uint16_t* out, const unsigned char* data, std::size_t size) noexcept {
        if constexpr (std::endian::native == std::endian::little) {
            const auto four = [&](std::size_t at) noexcept {
                std::uint32_t bytes;
                std::memcpy(&bytes, data + at, sizeof bytes);
                std::uint64_t units = bytes;
                units = (units | units << 16) & 0x0000FFFF0000FFFF;
                units = (units | units << 8) & 0x00FF00FF00FF00FF;
                std::memcpy(out + at, &units, sizeof units);
            };
            if (size >= 8) {
                const auto eight = [&](std::size_t at) noexcept {
#if defined(__SSE2__)
                    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + at));
                    const __m128i units = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), units);
#elif defined(__ARM_NEON)
                    vst1q_u16(out + at, vmovl_u8(vld1_u8(data + at)));
#else
                    four(at);
                    four(at + 4);
#endif
                };
                for (std::size_t at = 0; size - at > 8; at += 8) eight(at);
                eight(size - 8);
                return;
            }
            if (size >= 4) {
                four(0);
                four(size - 4);
                return;
            }
        }
        for (std::size_t i = 0; i < size; ++i) out[i] = data[i];
    }
    // Whether the `count` units that end at `end`, the length so far plus
    // `count` as it wraps, lie in the scratch: the sum did not wrap, and it
    // ends inside.
    bool fits(std::size_t end, std::size_t count) const noexcept { return end >= count && end <= scratch_.size(); }

    std::span<std::uint16_t> scratch_;
    std::size_t length_ = 0;
    char32_t widest_ = 0;  // the greatest character, ASCII pieces aside
    // A piece's count, worked out wrong, wrapped the length: the measure is
    // then no text's, and the draft none. Drawn again into storage made from
    // that measure, the text ends the process with the fault report.
    bool wrapped_ = false;
};

}  // namespace vorna
