// Fuzz target: arbitrary bytes, malformed UTF-8 included, straight into the
// match entry points. Malformed bytes read as U+FFFD, one byte each, so every
// grammar must still terminate with a sound value or issue.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)vorna::fuzz::match_all(text);
    return 0;
}
