// What the log tests share: an output that captures what a subscriber
// writes, and the example record, clock and thread number of their cases.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/log/log.hpp"
#include "core/log/subscriber.hpp"
#include "core/log/timestamp.hpp"

namespace vorna::log::examples {

// What a capturing output received.
struct Captured {
    std::mutex mutex;
    std::string text;
    std::vector<std::string> reports;
    std::error_code failure;  // when set, every write fails with it
};

class CaptureOutput final : public Output {
public:
    explicit CaptureOutput(Captured& captured) : captured_(captured) {}
    std::error_code write(std::string_view text) noexcept override {
        const std::lock_guard lock(captured_.mutex);
        if (captured_.failure) return captured_.failure;
        captured_.text.append(text);
        return {};
    }
    void report(std::string_view line) noexcept override {
        const std::lock_guard lock(captured_.mutex);
        captured_.reports.emplace_back(line);
    }

private:
    Captured& captured_;
};

// 2024-05-01T09:30:00.000123999Z
inline constexpr Timestamp example_time{1714555800, 123999};
inline const Clock example_clock = [] { return std::optional<Timestamp>(example_time); };
inline const ThreadNumbers thread_one = [] { return std::uint64_t{1}; };

inline FormattingSubscriber capturing(Captured& captured, bool colour = false, Clock clock = example_clock,
                               ThreadNumbers thread_number = thread_one) {
    return FormattingSubscriber(colour, std::move(clock), std::move(thread_number),
                                std::make_unique<CaptureOutput>(captured));
}

inline Record example_record(std::span<const Field> fields, Level level = Level::info) {
    return Record{.level = level,
                  .target = "vorna::package",
                  .name = "event src/lib:12",
                  .file = "src/lib",
                  .line = 12,
                  .fields = fields,
                  .parent = nullptr};
}

inline const std::vector<Field> loaded_count = {{"message", "loaded"}, {"count", 3}};

inline constexpr std::string_view example_first_line =
    "  2024-05-01T09:30:00.000123Z  INFO vorna::package: loaded, count: 3\n";
inline constexpr std::string_view example_text =
    "  2024-05-01T09:30:00.000123Z  INFO vorna::package: loaded, count: 3\n"
    "    at src/lib:12 on ThreadId(1)\n"
    "\n";

inline const std::string example_at = "    at src/lib:12 on ThreadId(1)\n\n";

}  // namespace vorna::log::examples
