// Internal faults: a broken invariant of the module itself. They are never
// turned into Python exceptions; the process reports and ends.
#pragma once

#include <string_view>

namespace vorna {

// Writes the thread, the source location of the caller and `message` to
// standard error, then ends the process at once.
[[noreturn]] void internal_fault(std::string_view message, const char* file = __builtin_FILE(),
                                 unsigned line = __builtin_LINE(),
                                 const char* function = __builtin_FUNCTION()) noexcept;

}  // namespace vorna
