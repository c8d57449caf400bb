#include <pthread.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include "core/platform/fault.hpp"
#include "core/platform/thread.hpp"

namespace vorna::platform {

std::uint64_t os_thread_id() noexcept {
#if defined(__linux__)
    return static_cast<std::uint64_t>(::syscall(SYS_gettid));
#elif defined(__APPLE__)
    std::uint64_t id = 0;
    pthread_threadid_np(nullptr, &id);
    return id;
#else
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pthread_self()));
#endif
}

ThreadSlot::ThreadSlot(Dispose dispose) noexcept : key_(0), dispose_(dispose) {
    pthread_key_t key;
    if (pthread_key_create(&key, dispose) != 0) internal_fault("no thread-specific key left");
    key_ = static_cast<std::uintptr_t>(key);
}

void* ThreadSlot::get() const noexcept { return pthread_getspecific(static_cast<pthread_key_t>(key_)); }

bool ThreadSlot::set(void* value) noexcept { return pthread_setspecific(static_cast<pthread_key_t>(key_), value) == 0; }

}  // namespace vorna::platform
