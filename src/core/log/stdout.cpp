#include "core/log/stdout.hpp"

#include <cerrno>

#include <unistd.h>

namespace vorna::log {

std::recursive_mutex& stdout_lock() noexcept {
    // Never destroyed, so that writes during process exit still find it.
    static auto* const lock = new std::recursive_mutex;
    return *lock;
}

std::error_code write_all(int fd, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return {errno, std::system_category()};
        }
        if (written == 0) return {EIO, std::system_category()};  // no progress: give up rather than spin
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::string describe_write_error(std::error_code error) {
    std::string text = error.message();
    if (error.category() == std::system_category()) {
        text.append(" (errno ").append(std::to_string(error.value())).push_back(')');
    }
    return text;
}

std::optional<std::string> write_stdout(std::string_view bytes) noexcept {
    std::error_code error;
    {
        const std::lock_guard lock(stdout_lock());
        error = write_all(STDOUT_FILENO, bytes);
    }
    if (!error || error == std::errc::bad_file_descriptor) return std::nullopt;
    return describe_write_error(error);
}

}  // namespace vorna::log
