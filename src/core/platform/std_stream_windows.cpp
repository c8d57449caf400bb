#include <cerrno>
#include <limits>
#include <string>

#include "core/platform/console.hpp"
#include "core/platform/std_stream.hpp"
#include "core/platform/windows.hpp"

namespace vorna::platform {

namespace {

// Callers tell write errors apart by errno, as on POSIX; the Windows codes
// that have an errno counterpart are given as that errno.
std::error_code last_error() noexcept {
    const DWORD code = GetLastError();
    switch (code) {
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return {EPIPE, std::generic_category()};
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return {ENOSPC, std::generic_category()};
        case ERROR_INVALID_HANDLE:
            return {EBADF, std::generic_category()};
        case ERROR_ACCESS_DENIED:
            return {EACCES, std::generic_category()};
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return {ENOMEM, std::generic_category()};
        default:
            return {static_cast<int>(code), std::system_category()};
    }
}

constexpr DWORD max_chunk = std::numeric_limits<DWORD>::max() / 2;

WriteStep write_console(HANDLE console, std::string_view bytes) noexcept {
    std::u16string wide;
    try {
        wide = utf16_from_utf8(bytes);
    } catch (...) {
        return {0, std::make_error_code(std::errc::not_enough_memory)};
    }
    std::u16string_view left = wide;
    while (!left.empty()) {
        const DWORD chunk = left.size() < max_chunk ? static_cast<DWORD>(left.size()) : max_chunk;
        DWORD written = 0;
        if (!WriteConsoleW(console, left.data(), chunk, &written, nullptr)) return {0, last_error()};
        if (written == 0) return {0, std::make_error_code(std::errc::io_error)};
        left.remove_prefix(written);
    }
    return {bytes.size(), {}};
}

}  // namespace

Handle std_handle(StdStream stream) noexcept {
    return GetStdHandle(stream == StdStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool has_stream(Handle handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

WriteStep write_some(Handle handle, std::string_view bytes) noexcept {
    if (!has_stream(handle)) return {0, std::make_error_code(std::errc::bad_file_descriptor)};
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) return write_console(handle, bytes);
    const DWORD chunk = bytes.size() < max_chunk ? static_cast<DWORD>(bytes.size()) : max_chunk;
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return {0, last_error()};
    return {written, {}};
}

}  // namespace vorna::platform
