#include <cstdlib>

#include "core/platform/process.hpp"
#include "core/platform/windows.hpp"

namespace vorna::platform {

void end_process_abnormally() noexcept {
    // abort() of the C runtime may print its own message or raise a dialog
    // after the report; ending the process directly keeps the report the last
    // thing written. 3 is the status abort() itself gives.
    TerminateProcess(GetCurrentProcess(), 3);
    std::_Exit(3);
}

void run_in_forked_children(void (*)()) noexcept {}

void* memory_shared_with_children(std::size_t size) noexcept { return std::calloc(1, size); }

}  // namespace vorna::platform
