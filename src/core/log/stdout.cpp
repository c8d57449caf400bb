#include "core/log/stdout.hpp"

#include <atomic>

namespace vorna::log {

namespace {

std::atomic<void* (*)() noexcept> host_release{nullptr};
std::atomic<void (*)(void*) noexcept> host_reacquire{nullptr};

}  // namespace

std::recursive_mutex& stdout_lock() noexcept {
    // Never destroyed, so that writes during process exit still find it.
    static auto* const lock = new std::recursive_mutex;
    return *lock;
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

void set_host_lock(HostLock lock) noexcept {
    const bool whole = lock.release != nullptr && lock.reacquire != nullptr;
    // Reacquire first: a writer that sees the new release also sees it.
    host_reacquire.store(whole ? lock.reacquire : nullptr, std::memory_order_release);
    host_release.store(whole ? lock.release : nullptr, std::memory_order_release);
}

WriteOutcome write_stdout(std::string_view bytes, platform::InterruptCheck keep_going) noexcept {
    const platform::Handle out = platform::std_handle(platform::StdStream::output);
    HostLock host;
    host.release = host_release.load(std::memory_order_acquire);
    if (host.release) host.reacquire = host_reacquire.load(std::memory_order_acquire);
    void* token = host.release ? host.release() : nullptr;

    WriteOutcome outcome;
    {
        // Held across the whole piece, also while the check runs with the
        // host lock taken back: a thread that holds the host lock never waits
        // for this one, so the two cannot be waited on in opposite orders.
        const std::lock_guard lock(stdout_lock());
        const auto checked = [&]() noexcept {
            if (token) host.reacquire(token);
            const bool go = keep_going();
            token = host.release ? host.release() : nullptr;
            return go;
        };
        const platform::WriteStep step =
            platform::write_all_counted(out, bytes, keep_going ? platform::InterruptCheck(checked) : keep_going);
        outcome = {step.error, step.written};
    }
    if (token) host.reacquire(token);
    return outcome;
}

}  // namespace vorna::log
