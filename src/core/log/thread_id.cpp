#include "core/log/thread_id.hpp"

#include <atomic>

namespace vorna::log {

std::uint64_t current_thread_number() noexcept {
    static std::atomic<std::uint64_t> next{1};
    thread_local const std::uint64_t number = next.fetch_add(1, std::memory_order_relaxed);
    return number;
}

}  // namespace vorna::log
