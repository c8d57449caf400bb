#include "core/log/stdout.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <utility>

#include "core/platform/process.hpp"
#include "core/platform/thread.hpp"

namespace vorna::log {

namespace {

std::atomic<void* (*)() noexcept> host_release{nullptr};
std::atomic<void (*)(void*) noexcept> host_reacquire{nullptr};
std::atomic<bool (*)() noexcept> host_finishing{nullptr};

// A mark of the calling thread, distinct among the threads alive.
const void* this_thread() noexcept {
    thread_local const char marker = 0;
    return &marker;
}

// Everything standard output's writers share (see the header for what each
// part becomes across fork(), exit and signal handlers).
struct State {
    std::mutex mutex;                   // held briefly, for the changes below
    std::condition_variable changed;    // the lock came free, or a thread took the host lock back
    std::atomic<const void*> owner{nullptr};
    // The holder's own, handed on with the lock.
    std::size_t depth = 0;
    bool writing = false;    // a write_stdout of the holder is under way
    bool line_cut = false;   // the last byte written was not the end of its line
    std::string held_back;   // lines of nested writes, to go out after the one under way
    // Under `mutex`.
    bool exiting = false;
    const void* finisher = nullptr;
    std::size_t taking_back = 0;
};

// Never destroyed, so that writes during process exit still find it; made
// afresh, in place, in a forked child, whose other threads are gone.
alignas(State) unsigned char storage[sizeof(State)];

void make_fresh_state() { new (storage) State; }

State& state() noexcept {
    [[maybe_unused]] static const bool made = (make_fresh_state(), platform::run_in_forked_children(make_fresh_state), true);
    return *std::launder(reinterpret_cast<State*>(storage));
}

// Gives the lock up whatever its depth, for a thread that stops for good.
void abandon_lock(State& s) noexcept {
    {
        const std::lock_guard guard(s.mutex);
        s.depth = 0;
        s.writing = false;
        s.owner.store(nullptr, std::memory_order_relaxed);
    }
    s.changed.notify_all();
}

// The writing thread's hold on the host lock.
class HostHold {
public:
    HostHold() noexcept
        : release_(host_release.load(std::memory_order_acquire)),
          reacquire_(release_ ? host_reacquire.load(std::memory_order_acquire) : nullptr),
          finishing_(release_ ? host_finishing.load(std::memory_order_acquire) : nullptr),
          token_(release_ ? release_() : nullptr),
          // Only the thread that finishes the host holds its lock once that began.
          finisher_(token_ && finishing_ && finishing_()) {}
    HostHold(const HostHold&) = delete;
    HostHold& operator=(const HostHold&) = delete;

    void give_up() noexcept { token_ = release_ ? release_() : nullptr; }

    // Takes the host lock back if it was given up. False when this thread
    // must not (it would never come back); it then holds nothing of the host.
    bool take_back() noexcept {
        if (!token_) return true;
        State& s = state();
        {
            const std::lock_guard guard(s.mutex);
            const bool allowed = s.exiting ? s.finisher == this_thread() : finisher_ || !finishing_ || !finishing_();
            if (!allowed) return false;
            ++s.taking_back;
        }
        reacquire_(std::exchange(token_, nullptr));
        {
            const std::lock_guard guard(s.mutex);
            --s.taking_back;
        }
        s.changed.notify_all();
        return true;
    }

private:
    void* (*release_)() noexcept;
    void (*reacquire_)(void*) noexcept;
    bool (*finishing_)() noexcept;
    void* token_;
    bool finisher_;
};

// One piece, keeping the cut-line mark up to date.
platform::WriteStep write_piece(State& s, platform::Handle out, std::string_view bytes,
                                platform::InterruptCheck check) noexcept {
    const platform::WriteStep step = platform::write_all_counted(out, bytes, check);
    if (step.written > 0) s.line_cut = bytes[step.written - 1] != '\n';
    return step;
}

// The held-back lines, including those held back meanwhile. What does not go
// out stays first in line.
std::error_code write_held_back(State& s, platform::Handle out, platform::InterruptCheck check) noexcept {
    while (!s.held_back.empty()) {
        std::string batch;
        batch.swap(s.held_back);  // the check may hold more back meanwhile
        const platform::WriteStep step = write_piece(s, out, batch, check);
        if (!step.error) continue;
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

// The end of a line left cut, the lines held back, then `bytes`, then what
// the checks held back during it.
WriteOutcome write_in_turn(State& s, platform::Handle out, std::string_view bytes,
                           platform::InterruptCheck check) noexcept {
    if (s.line_cut) {
        if (const platform::WriteStep step = write_piece(s, out, "\n", check); step.error) return {step.error, 0};
    }
    if (const std::error_code error = write_held_back(s, out, check)) return {error, 0};
    const platform::WriteStep step = write_piece(s, out, bytes, check);
    if (step.error) return {step.error, step.written};
    // The caller's line went out whole; lines that fail here wait for the
    // next write. Only a check that declined (a handler that raised) is told.
    const std::error_code error = write_held_back(s, out, check);
    return {error == std::errc::interrupted ? error : std::error_code(), step.written};
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

void set_host_lock(HostLock lock) noexcept {
    const bool whole = lock.release != nullptr && lock.reacquire != nullptr;
    // Release last: a writer that sees the new release also sees the rest.
    host_finishing.store(whole ? lock.finishing : nullptr, std::memory_order_release);
    host_reacquire.store(whole ? lock.reacquire : nullptr, std::memory_order_release);
    host_release.store(whole ? lock.release : nullptr, std::memory_order_release);
}

void begin_host_exit() noexcept {
    State& s = state();
    const std::lock_guard guard(s.mutex);
    s.exiting = true;
    s.finisher = this_thread();
}

void wait_for_threads_taking_the_host_lock() noexcept {
    State& s = state();
    std::unique_lock guard(s.mutex);
    s.changed.wait(guard, [&s] { return s.taking_back == 0; });
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
        return {{}, bytes.size()};
    }
    const platform::Handle out = platform::std_handle(platform::StdStream::output);
    HostHold host;
    bool stopping = false;  // the host lock may not be taken back: give the write up
    const auto checked = [&]() noexcept {
        if (!host.take_back()) {
            stopping = true;
            return false;
        }
        const bool go = keep_going();
        host.give_up();
        return go;
    };

    // Held across the whole piece, also while the check runs with the host
    // lock taken back: a thread that holds the host lock never waits for this
    // one, so the two cannot be waited on in opposite orders.
    stdout_lock().lock();
    const bool outer_writing = s.writing;
    s.writing = true;
    const WriteOutcome outcome =
        write_in_turn(s, out, bytes, keep_going ? platform::InterruptCheck(checked) : keep_going);
    if (stopping) {
        abandon_lock(s);
        platform::park_thread_forever();
    }
    s.writing = outer_writing;
    stdout_lock().unlock();
    if (!host.take_back()) platform::park_thread_forever();
    return outcome;
}

}  // namespace vorna::log
