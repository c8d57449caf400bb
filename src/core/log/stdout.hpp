// The process's standard output: the process-wide lock that keeps whole
// writes apart, and writes that never throw.
#pragma once

#include <cstddef>
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

// A lock of the host that runs the callers (an interpreter's global lock),
// given up around each blocking write so that the host's other threads run
// meanwhile: one of them may be the very reader that empties the pipe.
// `release` gives the lock up when the calling thread holds it and returns
// what `reacquire` needs to take it back (null when it was not held, which
// `reacquire` then ignores). Both are called on the writing thread.
struct HostLock {
    void* (*release)() noexcept = nullptr;
    void (*reacquire)(void* token) noexcept = nullptr;
};

// Sets the host lock of every later write to standard output, for the life
// of the process; a lock without both functions is no lock.
void set_host_lock(HostLock lock) noexcept;

// How a write to standard output ended: the error that stopped it (none when
// every byte went out, or when the process has no standard output and the
// bytes were discarded) and how many leading bytes went out before it.
struct WriteOutcome {
    std::error_code error;
    std::size_t written = 0;
};

// Writes all of `bytes` to the native standard output as one piece with
// respect to the other writers of standard output. The host lock is given up
// first and the standard-output lock taken only then, so a thread never
// waits for the standard-output lock while it holds the host lock; it is
// taken back once the write is over. When `keep_going` is given, it is asked
// with the host lock held again after a signal interrupted the write and
// after a partial write (which a signal can also cause); when it declines,
// the write ends with errc::interrupted.
WriteOutcome write_stdout(std::string_view bytes, platform::InterruptCheck keep_going) noexcept;
// The same without a check, for callers that only want the error.
inline std::error_code write_stdout(std::string_view bytes) noexcept { return write_stdout(bytes, {}).error; }

}  // namespace vorna::log
