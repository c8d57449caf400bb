#include <ctime>

#include "core/platform/clock.hpp"

namespace vorna::platform {

std::optional<WallTime> wall_clock() noexcept {
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return std::nullopt;
    return WallTime{static_cast<std::int64_t>(now.tv_sec), static_cast<std::uint32_t>(now.tv_nsec)};
}

}  // namespace vorna::platform
