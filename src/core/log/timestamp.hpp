// Wall-clock instants and their UTC text form in log records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorna::log {

// An instant as seconds since 1970-01-01T00:00:00Z plus the nanoseconds into
// that second (0 to 999'999'999).
struct Timestamp {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
};

// The current system time, or nullopt when it cannot be read.
std::optional<Timestamp> system_time() noexcept;

// Appends the instant in UTC on the proleptic Gregorian calendar as
// YYYY-MM-DDThh:mm:ss.uuuuuuZ with the microseconds truncated. Years 0 to
// 9999 have four digits, later years are "+" and their digits, earlier years
// are their sign and at least four digits ("-0001"). A missing or malformed
// instant appends "<unknown time>".
void append_timestamp(std::string& out, std::optional<Timestamp> time);

}  // namespace vorna::log
