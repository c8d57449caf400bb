// The model stage: the version values, the packed block of their lists,
// their text and debug forms and their order. This file holds the parts of
// the block layout that are not inline: the wide sizes, the range check and
// the copy of a block.

#include "core/model/block_layout.hpp"

#include <limits>
#include <stdexcept>

#include "core/platform/fault.hpp"

namespace vorna {

namespace detail {

namespace {

constexpr std::size_t max_offset = std::numeric_limits<std::uint32_t>::max();

template <class Word> std::size_t total_items(const Word* block, std::size_t list_count) noexcept {
    std::size_t total = 0;
    for (std::size_t j = 0; j < list_count; ++j) total += block[j];
    return total;
}

template <class Word> std::size_t size_of_block(const Word* block, std::size_t list_count) noexcept {
    const std::size_t items = total_items(block, list_count);
    // The last end offset is the byte count of all items.
    return BlockLayout::bytes_of(list_count, items, block[list_count + items - 1], sizeof(Word));
}

}  // namespace

BlockSize BlockLayout::wide_size_of(std::size_t list_count, std::size_t items, std::size_t bytes) {
    // Offsets are at most 32-bit: 4 GiB of identifiers in one value is
    // refused rather than silently cut.
    if (items > max_offset || bytes > max_offset) throw std::length_error("version lists of 4 GiB or more");
    return {items, bytes, false, bytes_of(list_count, items, bytes, sizeof(std::uint32_t))};
}

void BlockLayout::check_range(std::string_view text, const DottedRange& list) noexcept {
    if (list.begin > list.end || list.end > text.size()) internal_fault("a list range outside its text");
    if (list.count == 0 && list.begin != list.end) internal_fault("a list range of no item that holds bytes");
}


void* BlockLayout::copy(const void* block, bool narrow, std::size_t list_count) {
    if (!block) return nullptr;
    const std::size_t size = narrow ? size_of_block(static_cast<const std::uint16_t*>(block), list_count)
                                    : size_of_block(static_cast<const std::uint32_t*>(block), list_count);
    void* copy = allocate(size);
    std::memcpy(copy, block, size);
    return copy;
}

}  // namespace detail

}  // namespace vorna
