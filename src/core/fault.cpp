#include "core/fault.hpp"

#include <string>

#include "core/platform/process.hpp"
#include "core/platform/std_stream.hpp"
#include "core/platform/thread.hpp"

namespace vorna {

void internal_fault(std::string_view message, const char* file, unsigned line, const char* function) noexcept {
    try {
        std::string report = "vorna: internal fault on thread ";
        report.append(std::to_string(platform::os_thread_id()));
        report.append(" at ");
        report.append(file);
        report.push_back(':');
        report.append(std::to_string(line));
        report.append(" in ");
        report.append(function);
        report.append(": ");
        report.append(message);
        report.push_back('\n');
        (void)platform::write_all(platform::std_handle(platform::StdStream::error), report);
    } catch (...) {
        // Out of memory for the report: end without it.
    }
    platform::end_process_abnormally();
}

}  // namespace vorna
