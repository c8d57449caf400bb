// The process's standard output as a native handle: the process-wide lock
// that keeps whole writes apart, and writes that never throw.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace vorna::log {

// The process-wide standard-output lock. Every write to standard output
// (log records and the module's own lines) takes it, so whole writes of
// different threads do not interleave. It is re-entrant on one thread.
std::recursive_mutex& stdout_lock() noexcept;

// Writes all of `bytes` to the file descriptor, continuing after partial
// writes and interrupted calls. Returns the error of the failed write, or no
// error.
std::error_code write_all(int fd, std::string_view bytes) noexcept;

// The text of a write error, e.g. "No space left on device (errno 28)".
std::string describe_write_error(std::error_code error);

// Writes all of `bytes` to the native standard output (descriptor 1) under
// the standard-output lock. Returns the text of the error when the write
// fails. A process without a standard output is not an error: the bytes are
// discarded and nothing is returned.
std::optional<std::string> write_stdout(std::string_view bytes) noexcept;

}  // namespace vorna::log
