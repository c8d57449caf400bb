// The process's standard output: the process-wide lock that keeps whole
// writes apart, and writes that never throw.
//
// What a thread may hold of standard output's state, and what becomes of it
// across fork(), the host's exit and signal handlers (docs/architecture.md,
// "The write path", tells the whole path):
// - The standard-output lock, held for a whole write and given up before the
//   write returns. A writer holds no host lock while it waits for it (the
//   callers give theirs up first), and it waits only while the holder writes
//   bytes: while the holder runs its check (Python code, which may wait for
//   the waiting thread), a write of another thread is held back instead. So
//   the host's exit finds it held only by a thread inside a write, which gives
//   it up when the write ends. fork(): the child gets a free lock, whoever
//   held it in the parent.
// - The lines held back, at most about 1 MiB: those of a write made on a
//   thread whose own write is under way (from a signal handler run by the
//   check, or a record logged there) and those of other threads while the
//   holder runs its check. They go out after the line under way, never inside
//   it; past the bound a line is refused (errc::no_buffer_space). A write
//   lets out the lines held back before it and during it, not those held back
//   while it lets them out: a handler that writes faster than the reader takes
//   cannot keep it going. What is left goes out with the next write, or at
//   process exit. fork(): the child starts with none, the held-back lines
//   being the parent's; a child forked by a handler ends its copy of the
//   interrupted write at once, leaving the rest of the line to the parent.
// - The cut-line mark, set when a writer gives its line up after part of it
//   (a handler that raised, a write error), so that the next write first ends
//   that line. The kept rest of a held-back line is not given up and sets no
//   mark. fork(): shared with the child, which writes to the same stream, so
//   that whichever of them writes next ends the line, once.
// - At process exit (a std::atexit function, registered at the first use): a
//   write under way on another thread (a daemon thread's) is waited for, a
//   second at most; then a cut line is ended and what is held back goes out.
//   A write blocked longer (a full pipe) may leave its line cut.
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
// records and the module's own lines) takes it through write_stdout, so whole
// writes of different threads do not interleave; a thread's write made while
// its own is under way is held back rather than waiting for itself. The lock
// itself is not re-entrant. An unlock on a thread that does not hold it
// (after fork() made the lock afresh) does nothing.
class StdoutLock {
public:
    void lock() noexcept;
    bool try_lock() noexcept;
    void unlock() noexcept;
    // Whether the calling thread holds it.
    bool held_here() const noexcept;
};
StdoutLock& stdout_lock() noexcept;

// The text of a write error, e.g. "No space left on device (errno 28)".
std::string describe_write_error(std::error_code error);

// The errno of a write error, or 0 when it has none: its value when it is an
// errno, else the errno its category maps it to (a Windows system error that
// has a POSIX counterpart), else 0.
int errno_of(std::error_code error) noexcept;

// How a write to standard output ended: the error that stopped it (none when
// every byte went out, or when the process has no standard output and the
// bytes were discarded) and how many leading bytes went out before it.
struct WriteOutcome {
    std::error_code error;
    std::size_t written = 0;
};

// Writes all of `bytes` to the native standard output as one piece with
// respect to the other writers of standard output, under the
// standard-output lock, which it gives up before it returns. The caller
// holds no lock of its host that another writer's `keep_going` may take (it
// gives the interpreter lock up first), so that a thread never waits for the
// standard-output lock while it holds one. `keep_going`, when given, is
// asked after a signal interrupted the write and after a partial write
// (which a signal can also cause), with the standard-output lock held and
// the write marked as paused; when it declines, the write ends with
// errc::interrupted. A write made while the same thread's write is under way,
// or while another thread's runs its check, is held back, as above, and
// reported as written; past the bound it fails with errc::no_buffer_space.
WriteOutcome write_stdout(std::string_view bytes, platform::InterruptCheck keep_going) noexcept;
// The same without a check, for callers that only want the error.
inline std::error_code write_stdout(std::string_view bytes) noexcept { return write_stdout(bytes, {}).error; }

}  // namespace vorna::log
