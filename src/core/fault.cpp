#include "core/fault.hpp"

#include <unistd.h>
#include <sys/syscall.h>

#include <cstdlib>
#include <string>

namespace vorna {

void internal_fault(std::string_view message, const char* file, unsigned line, const char* function) noexcept {
    std::string report = "vorna: internal fault on thread ";
    report.append(std::to_string(static_cast<long>(::syscall(SYS_gettid))));
    report.append(" at ");
    report.append(file);
    report.push_back(':');
    report.append(std::to_string(line));
    report.append(" in ");
    report.append(function);
    report.append(": ");
    report.append(message);
    report.push_back('\n');
    const char* data = report.data();
    std::size_t left = report.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n <= 0) break;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    std::abort();
}

}  // namespace vorna
