// Small process-wide numbers for threads, as log records show them.
#pragma once

#include <cstdint>

namespace vorna::log {

// The calling thread's number. Numbers come from a process-wide counter that
// starts at 1; a thread gets its number the first time it asks and keeps it.
std::uint64_t current_thread_number() noexcept;

}  // namespace vorna::log
