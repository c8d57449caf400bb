// The layout of the block that holds a value's lists, and how a block is
// built, copied, viewed and freed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string_view>

#include "core/model/block_placement.hpp"
#include "core/model/dotted_range.hpp"
#include "core/model/list_view.hpp"
#include "core/platform/fault.hpp"

namespace vorna {

// Builds that check invariants (the C++ suite's and debug builds, which
// define VORNA_CHECK_INVARIANTS=1) verify the shapes a block is built from;
// others trust them.
#ifndef VORNA_CHECK_INVARIANTS
#define VORNA_CHECK_INVARIANTS 0
#endif
inline constexpr bool check_invariants = VORNA_CHECK_INVARIANTS != 0;

namespace detail {

// What a block of lists takes: its items, the bytes of all items, whether
// its counts and offsets are 16-bit words, and its size in bytes (0: no
// block, there being no item).
struct BlockSize {
    std::size_t items = 0;
    std::size_t bytes = 0;
    bool narrow = true;
    std::size_t bytes_total = 0;
};

// The block layout, shared by every count of lists: the item count of each
// list, the end offset of every item, then the bytes. Counts and offsets are
// 16-bit words when every one of them fits ("narrow"), else 32-bit words.
// Blocks are 16-aligned, which leaves the low bits of their address free for
// flags.
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
    // Bytes of a block for `list_count` lists with `items` items of `bytes`
    // bytes in all, its counts and offsets `word` bytes wide: a count per
    // list, an end offset per item, then the bytes.
    static constexpr std::size_t bytes_of(std::size_t list_count, std::size_t items, std::size_t bytes,
                                          std::size_t word) noexcept {
        return (list_count + items) * word + bytes;
    }
    // The block of `list_count` lists with `items` items of `bytes` bytes in
    // all: the one place its size is worked out, by the site that offers
    // room for it and by the build that fills it alike. No block (size 0)
    // when there is no item. Throws std::length_error when the counts or
    // offsets outgrow 32 bits.
    static BlockSize size_of(std::size_t list_count, std::size_t items, std::size_t bytes) {
        if (items == 0) return {};
        // The narrow size inline: nearly every value has it.
        if (fits_narrow(items, bytes)) [[likely]] {
            return {items, bytes, true, bytes_of(list_count, items, bytes, sizeof(std::uint16_t))};
        }
        return wide_size_of(list_count, items, bytes);
    }
    // The same for lists matched in a text.
    template <std::size_t N> static BlockSize size_of(const std::array<DottedRange, N>& lists) {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const DottedRange& list : lists) {
            // A range whose item bytes would come out below zero would wrap
            // the sum, and the block would be too short for the other lists.
            if (list.end < list.begin || list.count > list.end - list.begin + 1) [[unlikely]] {
                internal_fault("a list range too short for its part count");
            }
            items += list.count;
            bytes += list.item_bytes();
        }
        return size_of(N, items, bytes);
    }
    // The same for lists given as texts (each with size() and operator[]).
    template <class List> static BlockSize size_of(std::span<const List> lists) {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const List& list : lists) {
            items += list.size();
            for (std::size_t i = 0; i < list.size(); ++i) bytes += list[i].size();
        }
        return size_of(lists.size(), items, bytes);
    }
    // A block for the lists in `lists` (each with size() and operator[]
    // giving texts). Null when no list has an item; otherwise the block is
    // placed by `placement` when it offers room (then external_flag is set in
    // `flags`) or allocated; narrow_flag tells its width. Throws
    // std::length_error and std::bad_alloc.
    template <class List>
    static void* build(std::span<const List> lists, BlockPlacement* placement, std::uintptr_t& flags) {
        flags = 0;
        const BlockSize size = size_of(lists);
        if (size.bytes_total == 0) return nullptr;
        void* block = place_or_allocate(size.bytes_total, placement, flags);
        if (size.narrow) {
            flags |= narrow_flag;
            fill(static_cast<std::uint16_t*>(block), lists, size.items);
        } else {
            fill(static_cast<std::uint32_t*>(block), lists, size.items);
        }
        return block;
    }
    // The same for lists matched in `text`, written straight from it, their
    // size as size_of gives it.
    template <std::size_t N>
    static void* build(std::string_view text, const std::array<DottedRange, N>& lists, const BlockSize& size,
                       BlockPlacement* placement, std::uintptr_t& flags) {
        flags = 0;
        if constexpr (check_invariants) {
            for (const DottedRange& list : lists) check_range(text, list);
        }
        if (size.bytes_total == 0) return nullptr;
        void* block = place_or_allocate(size.bytes_total, placement, flags);
        if (size.narrow) {
            flags |= narrow_flag;
            fill<std::uint16_t>(static_cast<std::uint16_t*>(block), text.data(), lists, size.items);
        } else {
            fill<std::uint32_t>(static_cast<std::uint32_t*>(block), text.data(), lists, size.items);
        }
        return block;
    }
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
        return narrow ? view<N>(static_cast<const std::uint16_t*>(block), j)
                      : view<N>(static_cast<const std::uint32_t*>(block), j);
    }

private:
    static BlockSize wide_size_of(std::size_t list_count, std::size_t items, std::size_t bytes);
    // Ends the process unless `list` lies inside `text`, empty when it has no
    // item. Its dots are counted by fill, and its length checked against its
    // count by size_of, in every build.
    static void check_range(std::string_view text, const DottedRange& list) noexcept;
    static void* place_or_allocate(std::size_t size, BlockPlacement* placement, std::uintptr_t& flags) {
        if (void* room = placement ? placement->place(size) : nullptr) {
            flags = external_flag;
            return room;
        }
        return allocate(size);
    }
    template <class Word, class List>
    static void fill(Word* block, std::span<const List> lists, std::size_t items) noexcept {
        Word* ends = block + lists.size();
        char* chars = reinterpret_cast<char*>(ends + items);
        std::uint32_t offset = 0;
        for (std::size_t j = 0; j < lists.size(); ++j) {
            const List& list = lists[j];
            block[j] = static_cast<Word>(list.size());
            for (std::size_t i = 0; i < list.size(); ++i) {
                const std::string_view item = list[i];
                if (!item.empty()) std::memcpy(chars + offset, item.data(), item.size());
                offset += static_cast<std::uint32_t>(item.size());
                *ends++ = static_cast<Word>(offset);
            }
        }
    }
    template <class Word, std::size_t N>
    static void fill(Word* block, const char* text, const std::array<DottedRange, N>& lists, std::size_t items) noexcept {
        Word* ends = block + N;
        char* chars = reinterpret_cast<char*>(ends + items);
        std::uint32_t offset = 0;
        for (std::size_t j = 0; j < N; ++j) {
            const DottedRange& list = lists[j];
            block[j] = static_cast<Word>(list.count);
            if (list.count == 0) continue;
            if (list.count == 1) {
                const std::size_t size = list.end - list.begin;
                if (size != 0) std::memcpy(chars + offset, text + list.begin, size);
                offset += static_cast<std::uint32_t>(size);
            } else {
                // One walk over the list's bytes: a dot ends an item, any
                // other byte belongs to one. Items are short, where a byte
                // loop beats finding the dots and copying between them.
                //
                // The walk writes exactly the list's share of the block
                // whatever the bytes hold: it stops once the item bytes the
                // count leaves room for are written (each dot moves that stop
                // one byte on), and a dot past the count's last end ends the
                // process before it is written. A walk that stopped short of
                // the range met too few dots; either way the count disagrees
                // with the text, an internal fault.
                Word* const last_end = ends + (list.count - 1);
                const char* p = text + list.begin;
                for (const char* stop = p + list.item_bytes(); p != stop; ++p) {
                    const char c = *p;
                    if (c == '.') {
                        if (ends == last_end) [[unlikely]] internal_fault("a list with more dots than its part count");
                        *ends++ = static_cast<Word>(offset);
                        ++stop;
                    } else {
                        chars[offset++] = c;
                    }
                }
                if (ends != last_end) [[unlikely]] internal_fault("a list with fewer dots than its part count");
            }
            *ends++ = static_cast<Word>(offset);
        }
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
        return ListView(ends + first, sizeof(Word) == 2, first == 0 ? 0 : ends[first - 1], chars, block[j]);
    }
};

}  // namespace detail

}  // namespace vorna
