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

// The most that nested writes and writes of other threads may hold back
// behind a write under way: past it, a line to be held back is refused with
// errc::no_buffer_space. One line more may pass it, and the lines a failed
// write puts back count toward it.
constexpr std::size_t held_back_bound = std::size_t{1} << 20;

// A mark of the calling thread, distinct among the threads alive.
const void* this_thread() noexcept {
    thread_local const char marker = 0;
    return &marker;
}

// Everything standard output's writers share (see the header for what each
// part becomes across fork(), exit and signal handlers).
struct State {
    std::mutex mutex;                 // held briefly, around every change below
    std::condition_variable changed;  // the lock came free, or its holder paused
    std::atomic<const void*> owner{nullptr};
    bool writing = false;   // a write of the holder is under way
    bool paused = false;    // the holder's write runs its check (Python code)
    std::string held_back;  // lines to go out after the write under way
};

// Never destroyed, so that writes during process exit still find it; made
// afresh, in place, in a forked child, whose other threads are gone.
alignas(State) unsigned char storage[sizeof(State)];
// Counts the states made: a write that began under another count began in
// the parent of this process.
std::atomic<std::uint64_t> made_states{0};

// The cut-line mark: a writer gave its line up after part of it (a handler
// that raised, a write error), so the next write first ends that line.
// Shared with the children forked later, which write to the same stream:
// whichever process writes next ends the line, once. The process's own when
// no shared memory could be had.
static_assert(std::atomic<bool>::is_always_lock_free, "the mark is shared between processes");
std::atomic<bool> own_cut_mark{false};
std::atomic<bool>* cut_mark = &own_cut_mark;

void make_fresh_state() {
    new (storage) State;
    made_states.fetch_add(1, std::memory_order_relaxed);
}

void write_at_exit() noexcept;

State& state() noexcept {
    // Set up exactly once, other threads waiting for it (what a guarded
    // static is for; FirstStored would let two threads build the state): the
    // state, the mark, what a forked child redoes and the write at exit.
    [[maybe_unused]] static const bool made = [] {
        make_fresh_state();
        if (void* shared = platform::memory_shared_with_children(sizeof(std::atomic<bool>))) {
            cut_mark = new (shared) std::atomic<bool>(false);
        }
        platform::run_in_forked_children(make_fresh_state);
        // Out of memory here costs only the wait at exit.
        (void)std::atexit(write_at_exit);
        return true;
    }();
    return *std::launder(reinterpret_cast<State*>(storage));
}

// Holds `bytes` back behind the write under way, within the bound. With the
// mutex held.
WriteOutcome hold_back(State& s, std::string_view bytes) noexcept {
    if (s.held_back.size() >= held_back_bound) return {std::make_error_code(std::errc::no_buffer_space), 0};
    try {
        s.held_back.append(bytes);
    } catch (const std::exception&) {
        return {std::make_error_code(std::errc::not_enough_memory), 0};
    }
    return {{}, bytes.size()};
}

// Marks the holder's write as running its check, or as writing again. While
// it runs the check, writers of other threads hold their lines back rather
// than wait: the check runs Python code, which may wait for them.
void set_paused(State& s, bool paused) noexcept {
    {
        const std::lock_guard guard(s.mutex);
        s.paused = paused;
    }
    if (paused) s.changed.notify_all();
}

// Takes the lock unless another thread keeps it past `patience`; true at
// once when the calling thread holds it. Polled rather than a timed wait,
// whose clock-based form is a newer C library symbol than the wheels may
// need.
bool lock_within(std::chrono::milliseconds patience) noexcept {
    constexpr std::chrono::milliseconds step(10);
    for (std::chrono::milliseconds waited(0);; waited += step) {
        if (stdout_lock().held_here() || stdout_lock().try_lock()) return true;
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
        if (step.written > 0) cut_mark->store(bytes[step.written - 1] != '\n' && !(step.error && rest_kept));
        return step;
    }

    // The lines held back so far, in one batch; those held back meanwhile
    // wait for the next write, so that a handler that writes faster than the
    // reader takes cannot keep the write going. What does not go out stays
    // first in line.
    std::error_code held_back() const noexcept {
        std::string batch;
        {
            const std::lock_guard guard(s.mutex);
            batch.swap(s.held_back);
        }
        if (batch.empty()) return {};
        const platform::WriteStep step = piece(batch, true);
        if (!step.error || in_a_child()) return step.error;
        batch.erase(0, step.written);
        const std::lock_guard guard(s.mutex);
        try {
            batch.append(s.held_back);
        } catch (const std::exception&) {
            // Out of memory: the lines held back meanwhile are lost.
        }
        s.held_back.swap(batch);
        return step.error;
    }

    // The end of a line left cut, the lines held back before, then `bytes`,
    // then the lines held back during it.
    WriteOutcome in_turn(std::string_view bytes) const noexcept {
        if (cut_mark->exchange(false)) {
            if (const platform::WriteStep step = piece("\n", false); step.error) {
                if (!in_a_child()) cut_mark->store(true);
                return {step.error, 0};
            }
        }
        if (const std::error_code error = held_back()) return {error, 0};
        if (bytes.empty()) return {};
        const platform::WriteStep step = piece(bytes, false);
        if (step.error) return {step.error, step.written};
        // The caller's line went out whole; lines that fail here wait for the
        // next write. Only a check that declined (a handler that raised) is told.
        const std::error_code error = held_back();
        return {error == std::errc::interrupted ? error : std::error_code(), step.written};
    }
};

// Run at process exit (after the interpreter is gone): a write still under
// way on another thread (a daemon thread's) is waited for a moment, then a
// cut line is ended and the lines still held back go out. The lock is kept,
// so that nothing of another thread begins after this; a writer blocked past
// the moment (a full pipe) keeps its line and the lines it would have let out,
// and the line may stay cut.
void write_at_exit() noexcept {
    if (!lock_within(std::chrono::milliseconds(1000))) return;
    State& s = state();
    {
        const std::lock_guard guard(s.mutex);
        if (s.writing) return;  // this thread's own write is under way
        s.writing = true;
    }
    (void)Write{s, platform::std_handle(platform::StdStream::output), {}}.in_turn({});
    const std::lock_guard guard(s.mutex);
    s.writing = false;
}

}  // namespace

void StdoutLock::lock() noexcept {
    State& s = state();
    std::unique_lock guard(s.mutex);
    s.changed.wait(guard, [&s] { return s.owner.load(std::memory_order_relaxed) == nullptr; });
    s.owner.store(this_thread(), std::memory_order_relaxed);
}

bool StdoutLock::try_lock() noexcept {
    State& s = state();
    const std::lock_guard guard(s.mutex);
    if (s.owner.load(std::memory_order_relaxed) != nullptr) return false;
    s.owner.store(this_thread(), std::memory_order_relaxed);
    return true;
}

void StdoutLock::unlock() noexcept {
    State& s = state();
    {
        const std::lock_guard guard(s.mutex);
        if (s.owner.load(std::memory_order_relaxed) != this_thread()) return;
        s.owner.store(nullptr, std::memory_order_relaxed);
    }
    s.changed.notify_all();
}

bool StdoutLock::held_here() const noexcept { return state().owner.load(std::memory_order_relaxed) == this_thread(); }

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
    const void* const me = this_thread();
    bool taken = false;
    {
        std::unique_lock guard(s.mutex);
        if (s.owner.load(std::memory_order_relaxed) == me) {
            // A nested write (a signal handler's, run by this thread's
            // check): it goes out after the line it interrupted. Otherwise
            // the lock is this thread's already (it wrote at exit).
            if (s.writing) return hold_back(s, bytes);
        } else {
            // Another thread's write runs to its end, unless its holder runs
            // its check: then this line goes out after the holder's.
            s.changed.wait(guard, [&s] { return s.owner.load(std::memory_order_relaxed) == nullptr || s.paused; });
            if (s.owner.load(std::memory_order_relaxed) != nullptr) return hold_back(s, bytes);
            s.owner.store(me, std::memory_order_relaxed);
            taken = true;
        }
        s.writing = true;
    }
    Write write{s, platform::std_handle(platform::StdStream::output), {}};
    const auto checked = [&write, &s, keep_going]() noexcept {
        set_paused(s, true);
        const bool go_on = keep_going();
        // The child of a handler that forked: its state is new, its check over.
        if (write.in_a_child()) return false;
        set_paused(s, false);
        return go_on;
    };
    if (keep_going) write.check = checked;

    const WriteOutcome outcome = write.in_turn(bytes);
    // The child of a handler that forked holds nothing: its state is new.
    if (write.in_a_child()) return {{}, bytes.size()};
    {
        const std::lock_guard guard(s.mutex);
        s.writing = false;
        if (taken) s.owner.store(nullptr, std::memory_order_relaxed);
    }
    if (taken) s.changed.notify_all();
    return outcome;
}

}  // namespace vorna::log
