// The model stage: the version values, the packed block of their lists,
// their text and debug forms and their order. This file holds the parts of
// the block layout that are not inline: the wide sizes, the range check and
// the copy of a block.

#include "core/model/block_layout.hpp"

#include <limits>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "core/platform/fault.hpp"

namespace vorna {

namespace detail {

namespace {

constexpr std::size_t max_offset = std::numeric_limits<std::uint32_t>::max();

// The length a block of `Word`s starts with, and the size its counts and
// last end give, read only where they lie inside that length; 0 when they
// do not. The two must agree.
template <class Word> std::pair<std::size_t, std::size_t> lengths_of(const void* block, std::size_t list_count) noexcept {
    std::conditional_t<sizeof(Word) == 2, std::uint32_t, std::uint64_t> length = 0;
    std::memcpy(&length, block, sizeof length);
    const auto* words = reinterpret_cast<const Word*>(static_cast<const std::byte*>(block) + sizeof length);
    std::size_t items = 0;
    for (std::size_t j = 0; j < list_count; ++j) items += words[j];
    if (items == 0 || BlockLayout::bytes_of(list_count, items, 0, sizeof(Word)) > length) return {length, 0};
    // The last end offset is the byte count of all items.
    return {length, BlockLayout::bytes_of(list_count, items, words[list_count + items - 1], sizeof(Word))};
}

}  // namespace

BlockSize BlockLayout::wide_size_of(std::size_t list_count, std::size_t items, std::size_t bytes) {
    // Offsets are at most 32-bit: 4 GiB of identifiers in one value is
    // refused rather than silently cut.
    if (items > max_offset || bytes > max_offset) throw std::length_error("version lists of 4 GiB or more");
    return {items, bytes, false, bytes_of(list_count, items, bytes, sizeof(std::uint32_t))};
}

void BlockLayout::bad_range() noexcept { internal_fault("a list range that does not fit its text or its part count"); }

void BlockLayout::misaligned() noexcept { internal_fault("room for a block that is not 16-byte aligned"); }

void BlockLayout::too_large() noexcept { internal_fault("a block larger than the memory given for it"); }

void BlockLayout::dots_disagree(bool more) noexcept {
    if (more) internal_fault("a list with more dots than its part count");
    internal_fault("a list with fewer dots than its part count");
}

void* BlockLayout::copy(const void* block, bool narrow, std::size_t list_count) {
    if (!block) return nullptr;
    const auto [length, by_ends] =
        narrow ? lengths_of<std::uint16_t>(block, list_count) : lengths_of<std::uint32_t>(block, list_count);
    if (by_ends != length) internal_fault("a block whose counts and ends disagree with its length");
    void* copy = allocate(length);
    std::memcpy(copy, block, length);
    return copy;
}

}  // namespace detail

}  // namespace vorna
