#include <pthread.h>

#include <cstdlib>

#include "core/platform/fault.hpp"
#include "core/platform/process.hpp"

namespace vorna::platform {

void end_process_abnormally() noexcept { std::abort(); }

void run_in_forked_children(void (*hook)()) noexcept {
    if (::pthread_atfork(nullptr, nullptr, hook) != 0) internal_fault("no room for a fork handler");
}

}  // namespace vorna::platform
