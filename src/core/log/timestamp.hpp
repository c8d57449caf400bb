// Wall-clock instants and their UTC text form in log records.
#pragma once

#include <optional>
#include <string>

#include "core/platform/clock.hpp"

namespace vorna::log {

// An instant of the wall clock; valid with nanoseconds 0 to 999'999'999.
using Timestamp = platform::WallTime;

// The current system time, or nullopt when it cannot be read.
inline constexpr auto system_time = platform::wall_clock;

// Appends the instant in UTC on the proleptic Gregorian calendar as
// YYYY-MM-DDThh:mm:ss.uuuuuuZ with the microseconds truncated. Years 0 to
// 9999 have four digits, later years are "+" and their digits, earlier years
// are their sign and at least four digits ("-0001"). A missing or malformed
// instant appends "<unknown time>".
void append_timestamp(std::string& out, std::optional<Timestamp> time);

}  // namespace vorna::log
