// The block that holds a value's lists: where a list lies in a text, the
// room an owner may offer for a block, the block's layout, and how a block is
// sized, built, copied, viewed and freed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>

#include "core/model/list_view.hpp"
#include "core/platform/fault.hpp"

namespace vorna {

// `count` non-empty items over the bytes [begin, end) of a text, separated by
// single dots, so that the range holds exactly count - 1 dots, for one item
// too (neither a segment nor an identifier holds a dot). No items means an
// empty range. This is the shape the matcher records and a block is built
// from: the block holds the range's bytes as they are, dots and all, and
// the end of each item, found from the dots as they are copied. The range is
// checked against its text before a byte of the block is written, and the
// dots against the count as they are met.
struct DottedRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t count = 0;
};

// Room for a value's block of lists in memory the value will never free (an
// instance's tail): `bytes` long, as the memory's owner measured it, and
// 16-aligned; none while `at` is null. A block is written only inside it.
struct BlockRoom {
    void* at = nullptr;
    std::size_t bytes = 0;
};

namespace detail {

// What a block of lists takes: its items, the bytes of all lists, whether
// its counts and offsets are 16-bit words, and its size in bytes (0: no
// block, there being no item).
struct BlockSize {
    std::size_t items = 0;
    std::size_t bytes = 0;
    bool narrow = true;
    std::size_t bytes_total = 0;
};

// The block layout, shared by every count of lists: the block's own length
// (a 32-bit word in a narrow block, 64-bit in a wide one), the item count of
// each list, the end offset of every item, then the bytes: each list's text,
// its items joined by dots, the lists back to back. An item starts one byte
// past the end of the item before it in its list; a list's first item where
// the list before it ends. So a list's text form is one run of bytes, and a
// list matched in a text is copied as it lies. Counts and offsets are 16-bit
// words when every one of them fits ("narrow"), else 32-bit words. Blocks are
// 16-aligned, which leaves the low bits of their address free for flags.
//
// Every write into a block is bounded by the memory it lands in: a fill is
// handed the memory with its length (a room's, or the allocation's), checks
// once that what it is about to write fits, and writes in straight lines
// after that. The length it writes first is that of the block proven to fit,
// so a copy takes exactly the block's bytes, whatever its ends say.
struct BlockLayout {
    static constexpr std::uintptr_t flag_mask = 0xF;
    // The block lives in memory the value does not own.
    static constexpr std::uintptr_t external_flag = 0x4;
    // Counts and offsets are 16-bit words.
    static constexpr std::uintptr_t narrow_flag = 0x8;
    static constexpr std::size_t alignment = 16;

    static constexpr bool fits_narrow(std::size_t items, std::size_t bytes) noexcept {
        return items <= 0xFFFF && bytes <= 0xFFFF;
    }
    // The bytes of the length that starts a block whose counts and offsets
    // are `word` bytes wide.
    static constexpr std::size_t length_bytes(std::size_t word) noexcept { return 2 * word; }
    // Bytes of a block for `list_count` lists with `items` items whose texts
    // take `bytes` bytes in all (the dots between items included), its counts
    // and offsets `word` bytes wide: its length, a count per list, an end
    // offset per item, then the bytes.
    static constexpr std::size_t bytes_of(std::size_t list_count, std::size_t items, std::size_t bytes,
                                          std::size_t word) noexcept {
        return length_bytes(word) + (list_count + items) * word + bytes;
    }
    // The block of `list_count` lists with `items` items whose texts take
    // `bytes` bytes in all: the size the site that offers room and the heap
    // are asked for. No block (size 0) when there is no item. Throws
    // std::length_error when the counts, offsets or length outgrow 32 bits.
    static BlockSize size_of(std::size_t list_count, std::size_t items, std::size_t bytes) {
        if (items == 0) return {};
        // The narrow size inline: nearly every value has it.
        if (fits_narrow(items, bytes)) [[likely]] {
            return {items, bytes, true, bytes_of(list_count, items, bytes, sizeof(std::uint16_t))};
        }
        return wide_size_of(list_count, items, bytes);
    }
    // The same for lists matched in `text`, `present` the presence bit of
    // each: an absent list is empty whatever its range says, and its range
    // is never read. This is where what the fill relies on is proven, once
    // and in every build: each present range lies inside the text, after the
    // present list before it with a separator between, holds no byte when it
    // has no item and is long enough for its part count. The dots are
    // counted against the part count by the fill as it copies them.
    template <std::size_t N>
    static BlockSize size_of(std::string_view text, const std::array<const DottedRange*, N>& lists, unsigned present) {
        // No list present, no block: the plain version, before the dispatch.
        if (present == 0) return {};
        return with_presence<N>(present, [&]<unsigned Present>() {
            std::size_t items = 0;
            std::size_t bytes = 0;
            std::size_t from = 0;
            bool bad = false;
            for (std::size_t j = 0; j < N; ++j) {
                if (!((Present >> j) & 1)) continue;
                const DottedRange& list = *lists[j];
                // The length wraps when the range ends before it begins. A
                // list of no item holds no byte; one of n items at least
                // n - 1 dots.
                const std::size_t length = list.end - list.begin;
                bad |= (list.end > text.size()) | (length > list.end) | (list.begin < from) |
                       (list.count == 0 ? length != 0 : list.count - 1 > length);
                from = list.end + 1;
                items += list.count;
                bytes += length;
            }
            if (bad) [[unlikely]] bad_range();
            return size_of(N, items, bytes);
        });
    }
    // The same for lists given as texts (each with size() and operator[]).
    template <class List> static BlockSize size_of(std::span<const List> lists) {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const List& list : lists) {
            items += list.size();
            bytes += text_bytes(list);
        }
        return size_of(lists.size(), items, bytes);
    }

    // The block of `size` for the lists matched in `text`, written straight
    // from it into `room` when one is given, else into a heap block: the
    // block's address with external_flag (in the room) and narrow_flag set
    // as they apply. Throws std::bad_alloc.
    template <std::size_t N>
    static std::uintptr_t build(std::string_view text, const std::array<const DottedRange*, N>& lists,
                                unsigned present, const BlockSize& size, BlockRoom room) {
        std::uintptr_t flags = 0;
        const std::span<std::byte> memory = memory_for(size.bytes_total, room, flags);
        with_presence<N>(present, [&]<unsigned Present>() {
            if (size.narrow) {
                fill<std::uint16_t, N, Present>(memory, text.data(), lists);
                flags |= narrow_flag;
            } else {
                fill<std::uint32_t, N, Present>(memory, text.data(), lists);
            }
        });
        return reinterpret_cast<std::uintptr_t>(memory.data()) | flags;
    }
    // The same for lists given as texts, on the heap; 0 when no list has an
    // item. Throws std::length_error and std::bad_alloc.
    template <class List> static std::uintptr_t build(std::span<const List> lists) {
        const BlockSize size = size_of(lists);
        if (size.bytes_total == 0) return 0;
        std::uintptr_t flags = 0;
        const std::span<std::byte> memory = memory_for(size.bytes_total, BlockRoom(), flags);
        if (size.narrow) {
            fill<std::uint16_t>(memory, lists);
            flags |= narrow_flag;
        } else {
            fill<std::uint32_t>(memory, lists);
        }
        return reinterpret_cast<std::uintptr_t>(memory.data()) | flags;
    }
    // A heap copy of `block`, exactly its length; null for no block. A block
    // whose counts and ends disagree with its length is an internal fault.
    static void* copy(const void* block, bool narrow, std::size_t list_count);
    // At least `alignment` bytes, so that the address with its flags still
    // points into the block: a leak checker that finds only the flagged
    // word then still counts the block as referenced.
    static void* allocate(std::size_t size) {
        if (size < alignment) size = alignment;
        if constexpr (__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignment) {
            return ::operator new(size);
        } else {
            return ::operator new(size, std::align_val_t(alignment));
        }
    }
    static void release(void* block) noexcept {
        if constexpr (__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignment) {
            ::operator delete(block);
        } else {
            ::operator delete(block, std::align_val_t(alignment));
        }
    }
    template <std::size_t N> static ListView view(const void* block, bool narrow, std::size_t j) noexcept {
        if (!block) return {};
        const auto* bytes = static_cast<const std::byte*>(block);
        return narrow ? view<N>(reinterpret_cast<const std::uint16_t*>(bytes + length_bytes(2)), j)
                      : view<N>(reinterpret_cast<const std::uint32_t*>(bytes + length_bytes(4)), j);
    }

private:
    static BlockSize wide_size_of(std::size_t list_count, std::size_t items, std::size_t bytes);
    // The faults, out of line and cold.
    [[noreturn]] static void bad_range() noexcept;
    [[noreturn]] static void misaligned() noexcept;
    [[noreturn]] static void too_large() noexcept;
    [[noreturn]] static void dots_disagree(bool more) noexcept;

    // The memory a block of `size` bytes is written into, with its length:
    // the room when one is given (then external_flag is set in `flags`),
    // else a heap block of that size.
    static std::span<std::byte> memory_for(std::size_t size, BlockRoom room, std::uintptr_t& flags) {
        if (room.at) {
            if (reinterpret_cast<std::uintptr_t>(room.at) & (alignment - 1)) [[unlikely]] misaligned();
            flags = external_flag;
            return {static_cast<std::byte*>(room.at), room.bytes};
        }
        return {static_cast<std::byte*>(allocate(size)), size};
    }
    // The length of a block whose words are `Word`s: as wide as two of them.
    template <class Word> using Length = std::conditional_t<sizeof(Word) == 2, std::uint32_t, std::uint64_t>;
    template <class Word> static void store_length(std::byte* block, std::size_t length) noexcept {
        const auto stored = static_cast<Length<Word>>(length);
        std::memcpy(block, &stored, sizeof stored);
    }

    // The one check of a fill: the block of `items` items of `bytes` bytes
    // in `Word`s fits `memory` (and its words), before anything is written.
    // Its length goes first; the counts and ends follow it.
    template <class Word>
    static Word* start(std::span<std::byte> memory, std::size_t list_count, std::size_t items,
                       std::size_t bytes) noexcept {
        const std::size_t length = bytes_of(list_count, items, bytes, sizeof(Word));
        if (length > memory.size() || (sizeof(Word) == 2 && !fits_narrow(items, bytes))) [[unlikely]] too_large();
        store_length<Word>(memory.data(), length);
        return reinterpret_cast<Word*>(memory.data() + length_bytes(sizeof(Word)));
    }
    template <class Word, class List> static void fill(std::span<std::byte> memory, std::span<const List> lists) noexcept {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const List& list : lists) {
            items += list.size();
            bytes += text_bytes(list);
        }
        Word* const block = start<Word>(memory, lists.size(), items, bytes);
        Word* ends = block + lists.size();
        char* chars = reinterpret_cast<char*>(ends + items);
        std::uint32_t offset = 0;
        for (std::size_t j = 0; j < lists.size(); ++j) {
            const List& list = lists[j];
            block[j] = static_cast<Word>(list.size());
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (i != 0) chars[offset++] = '.';
                const std::string_view item = list[i];
                if (!item.empty()) std::memcpy(chars + offset, item.data(), item.size());
                offset += static_cast<std::uint32_t>(item.size());
                *ends++ = static_cast<Word>(offset);
            }
        }
    }
    // The bytes of a list's text: its items and the dots between them.
    template <class List> static std::size_t text_bytes(const List& list) {
        std::size_t bytes = list.size() == 0 ? 0 : list.size() - 1;
        for (std::size_t i = 0; i < list.size(); ++i) bytes += list[i].size();
        return bytes;
    }
    // Calls `f.template operator()<P>()` with `present` as the constant P:
    // one straight path for each set of lists present, with no test of a
    // list's presence along it.
    template <std::size_t N, class F> static decltype(auto) with_presence(unsigned present, F&& f) {
        static_assert(N == 1 || N == 2);
        if constexpr (N == 1) {
            return present & 1 ? f.template operator()<1>() : f.template operator()<0>();
        } else {
            switch (present & 3) {
                case 0: return f.template operator()<0>();
                case 1: return f.template operator()<1>();
                case 2: return f.template operator()<2>();
                default: return f.template operator()<3>();
            }
        }
    }
    template <class Word, std::size_t N, unsigned Present>
    static void fill(std::span<std::byte> memory, const char* text,
                     const std::array<const DottedRange*, N>& lists) noexcept {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (std::size_t j = 0; j < N; ++j) {
            if (!((Present >> j) & 1)) continue;
            items += lists[j]->count;
            bytes += lists[j]->end - lists[j]->begin;
        }
        Word* const block = start<Word>(memory, N, items, bytes);
        Word* ends = block + N;
        char* const chars = reinterpret_cast<char*>(ends + items);
        std::size_t offset = 0;
        for (std::size_t j = 0; j < N; ++j) {
            if (!((Present >> j) & 1)) {
                block[j] = 0;
                continue;
            }
            const DottedRange& list = *lists[j];
            block[j] = static_cast<Word>(list.count);
            if (list.count == 0) continue;
            // The list's bytes are copied as they lie. One item, the common
            // identifier, is copied a word at a time, its dots looked for on
            // the way: there must be none. Otherwise each dot met ends an
            // item, and exactly count - 1 of them may: a dot past the count's
            // last end ends the process before its end is written, and too
            // few leave the count's ends unwritten, a fault as well. Items
            // are short, where a byte loop beats finding the dots and copying
            // between them.
            const std::size_t size = list.end - list.begin;
            const char* const from = text + list.begin;
            if (list.count == 1) {
                if (copy_finding_dots(chars + offset, from, size)) [[unlikely]] dots_disagree(true);
            } else {
                Word* const last_end = ends + (list.count - 1);
                for (std::size_t i = 0; i < size; ++i) {
                    const char c = from[i];
                    chars[offset + i] = c;
                    if (c == '.') {
                        if (ends == last_end) [[unlikely]] dots_disagree(true);
                        *ends++ = static_cast<Word>(offset + i);
                    }
                }
                if (ends != last_end) [[unlikely]] dots_disagree(false);
            }
            offset += size;
            *ends++ = static_cast<Word>(offset);
        }
    }
    // Copies `size` bytes from `from` to `to`; true when one of them is a
    // dot. Words of eight (or four) bytes at a time, the last one
    // overlapping the one before; both stay inside the `size` bytes.
    static bool copy_finding_dots(char* to, const char* from, std::size_t size) noexcept {
        const auto dots_in = [](std::uint64_t word, std::uint64_t ones) noexcept {
            word ^= ones * '.';
            return ((word - ones) & ~word & ones * 0x80) != 0;
        };
        const auto move = [&]<class W>(std::size_t at) noexcept {
            W word;
            std::memcpy(&word, from + at, sizeof word);
            std::memcpy(to + at, &word, sizeof word);
            return dots_in(word, sizeof(W) == 8 ? 0x0101010101010101 : 0x01010101);
        };
        if (size >= 8) {
            bool dots = false;
            std::size_t at = 0;
            for (; size - at > 8; at += 8) dots |= move.template operator()<std::uint64_t>(at);
            const bool last = move.template operator()<std::uint64_t>(size - 8);
            return dots || last;
        }
        if (size >= 4) {
            // Both words are copied whatever the first holds.
            const bool first = move.template operator()<std::uint32_t>(0);
            const bool last = move.template operator()<std::uint32_t>(size - 4);
            return first || last;
        }
        bool dots = false;
        for (std::size_t i = 0; i < size; ++i) {
            to[i] = from[i];
            dots |= from[i] == '.';
        }
        return dots;
    }
    template <std::size_t N, class Word> static ListView view(const Word* block, std::size_t j) noexcept {
        std::size_t first = 0;
        std::size_t items = 0;
        for (std::size_t i = 0; i < N; ++i) {
            if (i < j) first += block[i];
            items += block[i];
        }
        const Word* ends = block + N;
        const auto* chars = reinterpret_cast<const char*>(ends + items);
        // The list starts where the one before it ends.
        return ListView(ends + first, sizeof(Word) == 2, first == 0 ? 0 : ends[first - 1], chars, block[j]);
    }
};

}  // namespace detail

}  // namespace vorna
