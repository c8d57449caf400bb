#include "core/platform/std_stream.hpp"

namespace vorna::platform {

WriteStep write_all_counted(Handle handle, std::string_view bytes, InterruptCheck keep_going) noexcept {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const WriteStep step = write_some(handle, bytes.substr(written));
        written += step.written;
        if (step.error == std::errc::interrupted) {
            if (!keep_going()) return {written, step.error};
            continue;
        }
        if (step.error) {
            // Asked only after a failure, so the common path costs no extra call.
            return {written, has_stream(handle) ? step.error : std::error_code()};
        }
        // No progress and no error: give up rather than spin.
        if (step.written == 0) return {written, std::make_error_code(std::errc::io_error)};
        // A partial write may mean a signal arrived mid-way: let it be handled
        // before the next call blocks, possibly for good.
        if (written < bytes.size() && !keep_going()) return {written, std::make_error_code(std::errc::interrupted)};
    }
    return {written, {}};
}

}  // namespace vorna::platform
