#include "core/platform/fault.hpp"

#include <string>

#include "core/platform/process.hpp"
#include "core/platform/std_stream.hpp"
#include "core/platform/thread.hpp"

namespace vorna {

void internal_fault(std::string_view message, const std::source_location& where) noexcept {
    try {
        std::string report = "vorna: internal fault on thread ";
        report.append(std::to_string(platform::os_thread_id()));
        report.append(" at ");
        report.append(where.file_name());
        report.push_back(':');
        report.append(std::to_string(where.line()));
        report.append(" in ");
        report.append(where.function_name());
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
