// The process's standard output: the process-wide lock that keeps whole
// writes apart, and writes that never throw.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "core/platform/std_stream.hpp"

namespace vorna::log {

// The process-wide standard-output lock. Every write to standard output
// (log records and the module's own lines) takes it, so whole writes of
// different threads do not interleave. It is re-entrant on one thread.
std::recursive_mutex& stdout_lock() noexcept;

// The text of a write error, e.g. "No space left on device (errno 28)".
std::string describe_write_error(std::error_code error);

// Writes all of `bytes` to the native standard output under the
// standard-output lock. Returns the error that stopped the write, or no error
// when the bytes were written or the process has no standard output (then
// they are discarded). `keep_going` is asked, with the lock released, after a
// signal interrupted the write; when it declines, the result is
// errc::interrupted.
std::error_code write_stdout(std::string_view bytes, platform::InterruptCheck keep_going = {}) noexcept;

}  // namespace vorna::log
