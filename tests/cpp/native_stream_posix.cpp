#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "native_stream.hpp"

namespace vorna::test_support {

Pipe make_pipe() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    return {fds[0], fds[1]};
}

platform::Handle make_temp_file() {
    char name[] = "/tmp/vorna-test-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::unlink(name);
    return fd;
}

std::string read_all(platform::Handle handle) {
    (void)::lseek(handle, 0, SEEK_SET);  // fails harmlessly on a pipe
    std::string text;
    char chunk[8192];
    for (ssize_t n; (n = ::read(handle, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
    return text;
}

void close_handle(platform::Handle handle) { ::close(handle); }

platform::Handle no_stream() { return -1; }

}  // namespace vorna::test_support
