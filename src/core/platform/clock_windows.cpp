#include "core/platform/clock.hpp"
#include "core/platform/windows.hpp"

namespace vorna::platform {

std::optional<WallTime> wall_clock() noexcept {
    // 100-nanosecond ticks since 1601-01-01T00:00:00Z.
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr std::uint64_t ticks_per_second = 10'000'000;
    constexpr std::int64_t seconds_from_1601_to_1970 = 11'644'473'600;
    return WallTime{static_cast<std::int64_t>(ticks / ticks_per_second) - seconds_from_1601_to_1970,
                    static_cast<std::uint32_t>(ticks % ticks_per_second * 100)};
}

}  // namespace vorna::platform
