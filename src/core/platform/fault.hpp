// Internal faults: a broken invariant of the module itself. They are never
// turned into Python exceptions; the process reports and ends.
#pragma once

#include <source_location>
#include <string_view>

namespace vorna {

// Writes the thread, the source location of the caller and `message` to
// standard error, then ends the process at once.
[[noreturn]] void internal_fault(std::string_view message,
                                 const std::source_location& where = std::source_location::current()) noexcept;

}  // namespace vorna
