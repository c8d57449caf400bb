// The platform stage, the seam to the operating system: one header per
// facility (clock, console, standard streams, threads, process, the end of
// the process on an internal fault), a source per system beside it.
//
// The wall clock.
#pragma once

#include <cstdint>
#include <optional>

namespace vorna::platform {

// An instant as seconds since 1970-01-01T00:00:00Z plus the nanoseconds into
// that second.
struct WallTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
};

// The current system time in UTC at the finest resolution the system keeps,
// or nullopt when it cannot be read.
std::optional<WallTime> wall_clock() noexcept;

}  // namespace vorna::platform
