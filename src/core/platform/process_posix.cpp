#include <cstdlib>

#include "core/platform/process.hpp"

namespace vorna::platform {

void end_process_abnormally() noexcept { std::abort(); }

}  // namespace vorna::platform
