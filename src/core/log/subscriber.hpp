// The formatting subscriber: writes each record at INFO or less verbose as a
// multi-line block to standard output.
//
//       2024-05-01T09:30:00.000123Z  INFO vorna::package: loaded, count: 3
//         at src/lib:12 on ThreadId(1)
//         in vorna::package::load with path: "a.txt"
//     (empty line)
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "core/log/log.hpp"
#include "core/log/timestamp.hpp"
#include "core/platform/std_stream.hpp"

namespace vorna::log {

// Where a subscriber's text goes.
class Output {
public:
    virtual ~Output() = default;
    // Writes all of `text` as one piece. Returns the error when it could not
    // be written.
    virtual std::error_code write(std::string_view text) noexcept = 0;
    // Reports a fault of the subscriber itself: one line, without its line
    // break.
    virtual void report(std::string_view line) noexcept = 0;
};

// Writes text to a native stream under the standard-output lock and reports
// to another: to the process's standard output through write_stdout, or to
// streams of the caller's own. A stream that the process does not have takes
// the text without an error.
class StreamOutput final : public Output {
public:
    // The process's standard output and standard error, looked up on each use.
    StreamOutput() noexcept = default;
    StreamOutput(platform::Handle out, platform::Handle err) noexcept : handles_{{out, err}} {}
    std::error_code write(std::string_view text) noexcept override;
    void report(std::string_view line) noexcept override;

private:
    struct Handles {
        platform::Handle out;
        platform::Handle err;
    };
    std::optional<Handles> handles_;
};

// The current time, or nullopt when it is unavailable.
using Clock = std::function<std::optional<Timestamp>()>;
// The number of the calling thread.
using ThreadNumbers = std::function<std::uint64_t()>;

// The colour decision for a value of NO_COLOR (null when it is unset): colour
// is off only for a non-empty value that is valid UTF-8. The report's rule
// (decide_colour) differs on a value that is not: records keep their colour
// because such a value is not a text the log can read as a request, while the
// report follows the wider convention that any non-empty value turns colour
// off. Each rule is the one its readers were promised, so they stay apart.
bool colour_for_no_color(const char* value) noexcept;

class FormattingSubscriber final : public Subscriber {
public:
    // `colour` is decided once here and kept; `clock`, `thread_number` and
    // `output` (not null) are consulted for every record written.
    FormattingSubscriber(bool colour, Clock clock, ThreadNumbers thread_number, std::unique_ptr<Output> output) noexcept;

    Level max_level() const noexcept override { return Level::info; }
    // Formats the record into the thread's reusable buffer and writes it with
    // one call. A record that cannot be formatted is replaced by a line that
    // says so; a failed write is reported, never thrown.
    void record(const Record& record) noexcept override;

private:
    void format(const Record& record, std::string& out) const;

    bool colour_;
    Clock clock_;
    ThreadNumbers thread_number_;
    std::unique_ptr<Output> output_;
};

// The subscriber of the process: colour unless NO_COLOR says otherwise, the
// system clock, the process-wide thread numbers, standard output for records
// and standard error for its own faults.
std::unique_ptr<Subscriber> make_stdout_subscriber();

}  // namespace vorna::log
