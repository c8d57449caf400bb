// The process's standard output: the process-wide lock that keeps whole
// writes apart, and writes that never throw.
//
// What a thread may hold of standard output's state across fork(), the
// host's exit and signal handlers, and what becomes of it:
// - The standard-output lock (holder and depth), held for a whole write.
//   fork(): the child gets a free lock, whoever held it in the parent.
//   Exit: a thread that may no longer take the host lock back gives the lock
//   up before it stops for good (see begin_host_exit). Signal handler: on the
//   holding thread the lock is its own already; see the next item.
// - The write under way and the lines held back. A write made on a thread
//   whose own write is under way (from a signal handler run by the check, or a
//   record logged there) is held back and goes out after the line it
//   interrupted, never inside it. fork(): the child starts with none, the
//   held-back lines being the parent's. When the interrupted write is given
//   up, its held-back lines go out first in the next write.
// - The cut-line mark, set when a write ends after part of its line (a handler
//   that raised, a write error, a thread stopped at exit), so that the next
//   write first ends that line. fork(): cleared.
// - The exit state (exit begun, the thread that finishes the host, the
//   threads taking the host lock back). fork(): cleared.
// - A thread's record-formatting buffer, in use (subscriber.cpp) from the
//   formatting of a record to the end of its write. The thread runs no host
//   code meanwhile, so neither a handler nor fork() on it finds the buffer in
//   use; other threads' buffers are out of reach in a child, and a stopped
//   thread keeps its own.
// - A thread's span stack (span.hpp): the forking thread keeps its spans in
//   the child, whose frames still hold the guards that leave them; a handler
//   enters and leaves its own spans on top.
// - Thread numbers (thread_id.hpp): process-wide; a child carries them on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

#include "core/platform/std_stream.hpp"

namespace vorna::log {

// The process-wide standard-output lock. Every write to standard output (log
// records and the module's own lines) takes it, so whole writes of different
// threads do not interleave. It is re-entrant on one thread; an unlock on a
// thread that does not hold it (after fork() made the lock afresh) does
// nothing.
class StdoutLock {
public:
    void lock() noexcept;
    bool try_lock() noexcept;
    void unlock() noexcept;
};
StdoutLock& stdout_lock() noexcept;

// The text of a write error, e.g. "No space left on device (errno 28)".
std::string describe_write_error(std::error_code error);

// The errno of a write error, or 0 when it has none: its value when it is an
// errno, else the errno its category maps it to (a Windows system error that
// has a POSIX counterpart), else 0.
int errno_of(std::error_code error) noexcept;

// A lock of the host that runs the callers (an interpreter's global lock),
// given up around each blocking write so that the host's other threads run
// meanwhile: one of them may be the very reader that empties the pipe.
// `release` gives the lock up when the calling thread holds it and returns
// what `reacquire` needs to take it back (null when it was not held, which
// `reacquire` then ignores). Both are called on the writing thread.
// `finishing` (optional) tells whether the host's exit is under way: from then
// on a thread other than the one that finishes the host never comes back from
// `reacquire`, so such a thread stops before it instead.
struct HostLock {
    void* (*release)() noexcept = nullptr;
    void (*reacquire)(void* token) noexcept = nullptr;
    bool (*finishing)() noexcept = nullptr;
};

// Sets the host lock of every later write to standard output, for the life
// of the process; a lock without both `release` and `reacquire` is no lock.
void set_host_lock(HostLock lock) noexcept;

// The host's exit, in two steps on the thread that finishes the host. First,
// with the host lock held: no other thread takes the host lock back after a
// write from now on; each gives the standard-output lock up and stops for
// good instead (ending its line cut). Then, with the host lock given up:
// waits for the threads already taking it back, so that none is still
// waiting for it when the host begins to end them.
void begin_host_exit() noexcept;
void wait_for_threads_taking_the_host_lock() noexcept;

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
// the write ends with errc::interrupted. A write made while the same thread's
// write is under way is held back, as above, and reported as written.
WriteOutcome write_stdout(std::string_view bytes, platform::InterruptCheck keep_going) noexcept;
// The same without a check, for callers that only want the error.
inline std::error_code write_stdout(std::string_view bytes) noexcept { return write_stdout(bytes, {}).error; }

}  // namespace vorna::log
