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

namespace vorna {

// Builds that check invariants (the C++ suite's and debug builds, which
// define VORNA_CHECK_INVARIANTS=1) verify the shapes a block is built from;
// others trust them.
#ifndef VORNA_CHECK_INVARIANTS
#define VORNA_CHECK_INVARIANTS 0
#endif
inline constexpr bool check_invariants = VORNA_CHECK_INVARIANTS != 0;

namespace detail {

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
    // Bytes of a block for `list_count` lists with `items` items of `bytes`
    // bytes in all, in the width fits_narrow gives. Throws
    // std::length_error when the counts or offsets outgrow 32 bits.
    static std::size_t size_of(std::size_t list_count, std::size_t items, std::size_t bytes);
    // A block for the lists in `lists` (each with size() and operator[]
    // giving texts). Null when no list has an item; otherwise the block is
    // placed by `placement` when it offers room (then external_flag is set in
    // `flags`) or allocated; narrow_flag tells its width. Throws
    // std::length_error and std::bad_alloc.
    template <class List>
    static void* build(std::span<const List> lists, BlockPlacement* placement, std::uintptr_t& flags) {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const List& list : lists) {
            items += list.size();
            for (std::size_t i = 0; i < list.size(); ++i) bytes += list[i].size();
        }
        flags = 0;
        if (items == 0) return nullptr;
        void* block = place_or_allocate(size_of(lists.size(), items, bytes), placement, flags);
        if (fits_narrow(items, bytes)) {
            flags |= narrow_flag;
            fill(static_cast<std::uint16_t*>(block), lists, items);
        } else {
            fill(static_cast<std::uint32_t*>(block), lists, items);
        }
        return block;
    }
    // The same for lists matched in `text`, written straight from it.
    template <std::size_t N>
    static void* build(std::string_view text, const std::array<DottedRange, N>& lists, BlockPlacement* placement,
                       std::uintptr_t& flags) {
        flags = 0;
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const DottedRange& list : lists) {
            if constexpr (check_invariants) check_range(text, list);
            items += list.count;
            bytes += list.item_bytes();
        }
        if (items == 0) return nullptr;
        const bool narrow = fits_narrow(items, bytes);
        const std::size_t size = narrow ? bytes_of(N, items, bytes, sizeof(std::uint16_t)) : size_of(N, items, bytes);
        void* block = place_or_allocate(size, placement, flags);
        if (narrow) {
            flags |= narrow_flag;
            fill<std::uint16_t>(static_cast<std::uint16_t*>(block), text.data(), lists, items);
        } else {
            fill<std::uint32_t>(static_cast<std::uint32_t*>(block), text.data(), lists, items);
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
    // Ends the process unless `list` lies inside `text` and holds count - 1
    // dots (see DottedRange).
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
                for (const char *p = text + list.begin, *end = text + list.end; p != end; ++p) {
                    const char c = *p;
                    if (c == '.') {
                        *ends++ = static_cast<Word>(offset);
                    } else {
                        chars[offset++] = c;
                    }
                }
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
