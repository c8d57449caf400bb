#include "core/log/stdout.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "core/platform/process.hpp"

namespace vorna::log {

namespace {

// A mark of the calling thread, distinct among the threads alive.
const void* this_thread() noexcept {
    thread_local const char marker = 0;
    return &marker;
}

// Everything standard output's writers share (see the header for what each
// part becomes across fork(), exit and signal handlers).
struct State {
    std::mutex mutex;                   // held briefly, to take or give up the lock
    std::condition_variable changed;    // the lock came free
    std::atomic<const void*> owner{nullptr};
    // The holder's own, handed on with the lock.
    std::size_t depth = 0;
    bool writing = false;    // a write_stdout of the holder is under way
    bool line_cut = false;   // a writer gave its line up after part of it
    std::string held_back;   // lines of nested writes, to go out after the one under way
};

// Never destroyed, so that writes during process exit still find it; made
// afresh, in place, in a forked child, whose other threads are gone.
alignas(State) unsigned char storage[sizeof(State)];
// Counts the states made: a write that began under another count began in
// the parent of this process.
std::atomic<std::uint64_t> made_states{0};

void make_fresh_state() {
    new (storage) State;
    made_states.fetch_add(1, std::memory_order_relaxed);
}

State& state() noexcept {
    [[maybe_unused]] static const bool made = (make_fresh_state(), platform::run_in_forked_children(make_fresh_state), true);
    return *std::launder(reinterpret_cast<State*>(storage));
}

// Takes the lock unless another thread keeps it past `patience`. Polled
// rather than a timed wait, whose clock-based form is a newer C library
// symbol than the wheels may need.
bool lock_within(std::chrono::milliseconds patience) noexcept {
    constexpr std::chrono::milliseconds step(10);
    for (std::chrono::milliseconds waited(0);; waited += step) {
        if (stdout_lock().try_lock()) return true;
        if (waited >= patience) return false;
        std::this_thread::sleep_for(step);
    }
}

// One write under way on this thread: its state, its output and the check
// between its pieces.
struct Write {
    State& s;
    platform::Handle out;
    platform::InterruptCheck check;
    std::uint64_t state_made = made_states.load(std::memory_order_relaxed);

    // Whether a handler run by the check forked and this is the child: the
    // state is the child's own now, and this write is the parent's to finish.
    bool in_a_child() const noexcept { return made_states.load(std::memory_order_relaxed) != state_made; }

    // One piece. The line is cut when the piece ends before its last line
    // does, except where the rest of the piece is kept to go out first.
    platform::WriteStep piece(std::string_view bytes, bool rest_kept) const noexcept {
        const platform::WriteStep step = platform::write_all_counted(out, bytes, check);
        if (step.error && in_a_child()) return step;
        if (step.written > 0) s.line_cut = bytes[step.written - 1] != '\n' && !(step.error && rest_kept);
        return step;
    }

    // The held-back lines, including those held back meanwhile. What does
    // not go out stays first in line.
    std::error_code held_back() const noexcept {
        while (!s.held_back.empty()) {
            std::string batch;
            batch.swap(s.held_back);  // the check may hold more back meanwhile
            const platform::WriteStep step = piece(batch, true);
            if (!step.error) continue;
            if (in_a_child()) return step.error;
            batch.erase(0, step.written);
            try {
                batch.append(s.held_back);
                s.held_back.swap(batch);
            } catch (const std::exception&) {
                // Out of memory: the lines held back meanwhile are lost.
                s.held_back.swap(batch);
            }
            return step.error;
        }
        return {};
    }

    // The end of a line left cut, the lines held back, then `bytes`, then
    // what the checks held back during it.
    WriteOutcome in_turn(std::string_view bytes) const noexcept {
        if (s.line_cut) {
            if (const platform::WriteStep step = piece("\n", false); step.error) return {step.error, 0};
        }
        if (const std::error_code error = held_back()) return {error, 0};
        const platform::WriteStep step = piece(bytes, false);
        if (step.error) return {step.error, step.written};
        // The caller's line went out whole; lines that fail here wait for the
        // next write. Only a check that declined (a handler that raised) is told.
        const std::error_code error = held_back();
        return {error == std::errc::interrupted ? error : std::error_code(), step.written};
    }
};

// Run once at process exit (registered with the first line held back): the
// lines still held back go out, after the end of a cut line. A writer still
// under way then (a thread blocked on a full pipe) is waited for a moment
// only; the lines it would have let out stay with it.
void write_held_back_at_exit() noexcept {
    State& s = state();
    if (!lock_within(std::chrono::milliseconds(1000))) return;
    if (!s.writing && !s.held_back.empty()) {
        s.writing = true;
        (void)Write{s, platform::std_handle(platform::StdStream::output), {}}.in_turn({});
        s.writing = false;
    }
    stdout_lock().unlock();
}

void write_held_back_at_exit_registered() noexcept {
    static std::atomic<bool> registered{false};
    if (registered.load(std::memory_order_relaxed)) return;
    // A failure to register is retried by the next line held back.
    if (std::atexit(write_held_back_at_exit) == 0) registered.store(true, std::memory_order_relaxed);
}

}  // namespace

void StdoutLock::lock() noexcept {
    State& s = state();
    const void* me = this_thread();
    if (s.owner.load(std::memory_order_relaxed) == me) {
        ++s.depth;
        return;
    }
    std::unique_lock guard(s.mutex);
    s.changed.wait(guard, [&s] { return s.owner.load(std::memory_order_relaxed) == nullptr; });
    s.owner.store(me, std::memory_order_relaxed);
    s.depth = 1;
}

bool StdoutLock::try_lock() noexcept {
    State& s = state();
    const void* me = this_thread();
    if (s.owner.load(std::memory_order_relaxed) == me) {
        ++s.depth;
        return true;
    }
    const std::lock_guard guard(s.mutex);
    if (s.owner.load(std::memory_order_relaxed) != nullptr) return false;
    s.owner.store(me, std::memory_order_relaxed);
    s.depth = 1;
    return true;
}

void StdoutLock::unlock() noexcept {
    State& s = state();
    if (s.owner.load(std::memory_order_relaxed) != this_thread()) return;
    if (--s.depth > 0) return;
    {
        const std::lock_guard guard(s.mutex);
        s.owner.store(nullptr, std::memory_order_relaxed);
    }
    s.changed.notify_all();
}

StdoutLock& stdout_lock() noexcept {
    static StdoutLock lock;
    return lock;
}

std::string describe_write_error(std::error_code error) {
    std::string text = error.message();
    if (error.category() == std::generic_category()) {
        text.append(" (errno ").append(std::to_string(error.value())).push_back(')');
    } else if (error.category() == std::system_category()) {
        text.append(" (system error ").append(std::to_string(error.value())).push_back(')');
    }
    return text;
}

int errno_of(std::error_code error) noexcept {
    if (error.category() == std::generic_category()) return error.value();
    const std::error_condition condition = error.default_error_condition();
    return condition.category() == std::generic_category() ? condition.value() : 0;
}

WriteOutcome write_stdout(std::string_view bytes, platform::InterruptCheck keep_going) noexcept {
    State& s = state();
    if (s.owner.load(std::memory_order_relaxed) == this_thread() && s.writing) {
        // A nested write (a signal handler's, run by this thread's check): it
        // goes out after the line it interrupted.
        try {
            s.held_back.append(bytes);
        } catch (const std::exception&) {
            return {std::make_error_code(std::errc::not_enough_memory), 0};
        }
        write_held_back_at_exit_registered();
        return {{}, bytes.size()};
    }
    Write write{s, platform::std_handle(platform::StdStream::output), {}};
    const auto checked = [&write, keep_going]() noexcept { return keep_going() && !write.in_a_child(); };
    if (keep_going) write.check = checked;

    // Held across the whole write, also while the check runs.
    stdout_lock().lock();
    const bool outer_writing = s.writing;
    s.writing = true;
    const WriteOutcome outcome = write.in_turn(bytes);
    // The child of a handler that forked holds nothing: its state is new.
    if (write.in_a_child()) return {{}, bytes.size()};
    s.writing = outer_writing;
    stdout_lock().unlock();
    return outcome;
}

}  // namespace vorna::log
