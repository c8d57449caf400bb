#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "core/platform/std_stream.hpp"

namespace vorna::platform {

Handle std_handle(StdStream stream) noexcept {
    return stream == StdStream::output ? STDOUT_FILENO : STDERR_FILENO;
}

bool has_stream(Handle handle) noexcept {
    // The write's own EBADF cannot tell a closed descriptor from one opened
    // for reading only; the descriptor's flags can.
    return ::fcntl(handle, F_GETFD) != -1 || errno != EBADF;
}

WriteStep write_some(Handle handle, std::string_view bytes) noexcept {
    const std::size_t size = bytes.size() < SSIZE_MAX ? bytes.size() : SSIZE_MAX;
    const ssize_t written = ::write(handle, bytes.data(), size);
    if (written < 0) return {0, std::error_code(errno, std::generic_category())};
    return {static_cast<std::size_t>(written), {}};
}

}  // namespace vorna::platform
