#include "core/log/stdout.hpp"

namespace vorna::log {

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

std::error_code write_stdout(std::string_view bytes, platform::InterruptCheck keep_going) noexcept {
    const platform::Handle out = platform::std_handle(platform::StdStream::output);
    std::unique_lock lock(stdout_lock());
    if (!keep_going) return platform::write_all(out, bytes);
    // The check may run arbitrary code (a signal handler) that lets another
    // thread write; it must not wait for a lock this thread holds.
    const auto unlocked = [&]() noexcept {
        lock.unlock();
        const bool go = keep_going();
        lock.lock();
        return go;
    };
    return platform::write_all(out, bytes, unlocked);
}

}  // namespace vorna::log
