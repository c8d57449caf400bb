// Where a dot-separated list lies in a text: the shape the matcher records
// and the block of a value is built from.
#pragma once

#include <cstddef>

namespace vorna {

// `count` non-empty items over the bytes [begin, end) of a text, separated by
// single dots, so that the range holds exactly count - 1 dots; a single item
// may hold any bytes (an identifier taken whole). No items means an empty
// range. The block built from it is sized by that count and written from the
// bytes, so a count that breaks the rule would write past the block: builds
// that check invariants verify it where the block is built.
struct DottedRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t count = 0;

    // The bytes of the items, without the dots.
    constexpr std::size_t item_bytes() const noexcept { return count == 0 ? 0 : end - begin - (count - 1); }
};

}  // namespace vorna
