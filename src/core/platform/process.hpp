// Ending the process abnormally.
#pragma once

namespace vorna::platform {

// Ends the process at once, as a crash: no exit handlers, no flushing, a
// non-zero status (SIGABRT on POSIX, exit code 3 on Windows).
[[noreturn]] void end_process_abnormally() noexcept;

}  // namespace vorna::platform
