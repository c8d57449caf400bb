#include <unistd.h>

#include "core/platform/console.hpp"

namespace vorna::platform {

bool is_terminal(Handle handle) noexcept { return ::isatty(handle) != 0; }

void enable_escape_sequences() noexcept {}

}  // namespace vorna::platform
