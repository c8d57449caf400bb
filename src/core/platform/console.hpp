// Terminals and consoles: whether a stream is one, the escape-sequence
// processing of Windows consoles, and the UTF-16 text a Windows console takes.
#pragma once

#include <string>
#include <string_view>

#include "core/platform/std_stream.hpp"

namespace vorna::platform {

// Whether `handle` is a terminal: isatty on POSIX; on Windows a console (a
// handle whose console mode can be read, which NUL and other character devices
// are not).
bool is_terminal(Handle handle) noexcept;

// Lets the console of standard output, and that of standard error when it is
// another handle, interpret ANSI escape sequences. Nothing to do on POSIX.
void enable_escape_sequences() noexcept;

// `text` as UTF-16, the form a Windows console takes. Each malformed byte
// becomes U+FFFD, as in every other walk over the module's texts.
std::u16string utf16_from_utf8(std::string_view text);

}  // namespace vorna::platform
