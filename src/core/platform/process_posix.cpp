#include <pthread.h>
#include <sys/mman.h>

#include <cstdlib>

#include "core/platform/fault.hpp"
#include "core/platform/process.hpp"

namespace vorna::platform {

void end_process_abnormally() noexcept { std::abort(); }

void run_in_forked_children(void (*hook)()) noexcept {
    if (::pthread_atfork(nullptr, nullptr, hook) != 0) internal_fault("no room for a fork handler");
}

void* memory_shared_with_children(std::size_t size) noexcept {
    void* const memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

}  // namespace vorna::platform
