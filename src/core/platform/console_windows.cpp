#include "core/platform/console.hpp"
#include "core/platform/windows.hpp"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace vorna::platform {

bool is_terminal(Handle handle) noexcept {
    DWORD mode = 0;
    return has_stream(handle) && GetConsoleMode(handle, &mode) != 0;
}

void enable_escape_sequences() noexcept {
    const auto enable = [](HANDLE console) {
        DWORD mode = 0;
        if (has_stream(console) && GetConsoleMode(console, &mode)) {
            SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    };
    const HANDLE out = std_handle(StdStream::output);
    const HANDLE err = std_handle(StdStream::error);
    enable(out);
    if (err != out) enable(err);
}

}  // namespace vorna::platform
