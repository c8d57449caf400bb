// Where the block of a value's lists is put.
#pragma once

#include <cstddef>

namespace vorna {

// Where a value's block of lists goes. By default the value allocates the
// block and frees it with itself. A caller that owns memory which outlives
// the value (the tail of a Python instance that holds it) may offer room
// there instead; the value then never frees it. Copies always get a block of
// their own.
class BlockPlacement {
public:
    // Room for `bytes` bytes aligned to 16, or null to let the value allocate.
    // May throw std::bad_alloc.
    virtual void* place(std::size_t bytes) = 0;

protected:
    ~BlockPlacement() = default;
};

}  // namespace vorna
