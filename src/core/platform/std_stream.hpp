// The process's standard output and standard error as native handles, and
// writes to native handles that never throw.
#pragma once

#include <cstddef>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

namespace vorna::platform {

// A native stream handle: a file descriptor on POSIX, a HANDLE on Windows.
#ifdef _WIN32
using Handle = void*;
#else
using Handle = int;
#endif

enum class StdStream : unsigned char { output, error };

// The handle of the process's standard output or standard error. It may
// refer to nothing, when the process was started without that stream.
Handle std_handle(StdStream stream) noexcept;

// Whether `handle` refers to an open stream. A process started without a
// standard output has a handle that does not (on POSIX a closed descriptor, on
// Windows a null or invalid handle); a descriptor open for reading only does.
bool has_stream(Handle handle) noexcept;

// The outcome of one write call.
struct WriteStep {
    std::size_t written = 0;  // leading bytes that went out
    std::error_code error;    // errc::interrupted when a signal came before any byte
};

// One write of a prefix of `bytes` (not empty). On a Windows console the whole
// text is written, as UTF-16, in one step; any other handle gets the bytes
// unchanged, with no newline translation.
WriteStep write_some(Handle handle, std::string_view bytes) noexcept;

// A borrowed callable that decides, after a signal interrupted a write,
// whether to keep writing (true) or to give the write up (false). An empty
// check keeps writing.
class InterruptCheck {
public:
    InterruptCheck() noexcept = default;
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, InterruptCheck>>>
    InterruptCheck(F& f) noexcept  // NOLINT(google-explicit-constructor): a borrowed callable
        : object_(const_cast<void*>(static_cast<const void*>(&f))),
          call_([](void* object) noexcept -> bool { return (*static_cast<F*>(object))(); }) {}

    bool operator()() const noexcept { return call_ == nullptr || call_(object_); }
    explicit operator bool() const noexcept { return call_ != nullptr; }

private:
    void* object_ = nullptr;
    bool (*call_)(void*) noexcept = nullptr;
};

// Writes all of `bytes`, continuing after partial writes. After a signal
// interrupted a call, and after a partial write (which a signal can also
// cause), `keep_going` decides whether to continue; when it declines, the
// result is errc::interrupted. A handle without a stream is not an error: the
// bytes are discarded. Returns the error that ended the write, or no error,
// and how many leading bytes went out.
WriteStep write_all_counted(Handle handle, std::string_view bytes, InterruptCheck keep_going = {}) noexcept;
// The same, for callers that only want the error.
inline std::error_code write_all(Handle handle, std::string_view bytes, InterruptCheck keep_going = {}) noexcept {
    return write_all_counted(handle, bytes, keep_going).error;
}

}  // namespace vorna::platform
