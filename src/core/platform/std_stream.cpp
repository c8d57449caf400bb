#include "core/platform/std_stream.hpp"

namespace vorna::platform {

std::error_code write_all(Handle handle, std::string_view bytes, InterruptCheck keep_going) noexcept {
    while (!bytes.empty()) {
        const WriteStep step = write_some(handle, bytes);
        bytes.remove_prefix(step.written);
        if (step.error == std::errc::interrupted) {
            if (!keep_going()) return step.error;
            continue;
        }
        if (step.error) {
            // Asked only after a failure, so the common path costs no extra call.
            return has_stream(handle) ? step.error : std::error_code();
        }
        // No progress and no error: give up rather than spin.
        if (step.written == 0) return std::make_error_code(std::errc::io_error);
        // A partial write may mean a signal arrived mid-way: let it be handled
        // before the next call blocks, possibly for good.
        if (!bytes.empty() && !keep_going()) return std::make_error_code(std::errc::interrupted);
    }
    return {};
}

}  // namespace vorna::platform
