// Structured logging for the module's own code: levels, field values,
// records, the process-wide dispatch to one installed subscriber, and the
// maximum-level hint that lets callers skip building records nobody writes.
//
//     VORNA_LOG(log::Level::info, "vorna::package", {"message", "loaded"}, {"count", 3});
//
// Spans (named regions that records can lie in) are in core/log/span.hpp.
#pragma once

#include <atomic>
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <source_location>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace vorna::log {

// Levels order by verbosity: error < warn < info < debug < trace. A filter
// "up to info" writes error, warn and info.
enum class Level : std::uint8_t { error = 1, warn, info, debug, trace };

// The value of one field: a text, a signed or unsigned integer, a bool or a
// float. Texts are borrowed; the record or span that carries the value says
// how long the text has to live.
class Value {
public:
    using Data = std::variant<std::string_view, std::int64_t, std::uint64_t, bool, double>;

    Value(std::string_view text) noexcept : data_(text) {}
    Value(const char* text) noexcept : data_(std::string_view(text)) {}
    Value(const std::string& text) noexcept : data_(std::string_view(text)) {}
    template <std::signed_integral T> Value(T n) noexcept : data_(std::int64_t{n}) {}
    template <std::unsigned_integral T>
        requires(!std::same_as<T, bool>)
    Value(T n) noexcept : data_(std::uint64_t{n}) {}
    template <std::same_as<bool> T> Value(T b) noexcept : data_(b) {}
    Value(double x) noexcept : data_(x) {}

    const Data& data() const noexcept { return data_; }
    const std::string_view* text() const noexcept { return std::get_if<std::string_view>(&data_); }

private:
    Data data_;
};

// A named value. The field named "message" holds the text of its record.
struct Field {
    std::string_view name;
    Value value;
};

class Span;

// One log record as a subscriber receives it. Everything is borrowed from the
// code that logs and lives only for the call that hands the record over.
struct Record {
    Level level = Level::info;
    std::string_view target;  // module-path-like, e.g. "vorna::package"
    std::string_view name;    // identifies the place that emitted the record
    std::optional<std::string_view> file;
    std::optional<std::uint32_t> line;
    std::span<const Field> fields;  // in the order they were recorded
    // The span the record lies in. Null: the span the current thread is in.
    const Span* parent = nullptr;
};

// Receives every dispatched record. Implementations must not throw and must
// cope with records dispatched from any thread, and with a record dispatched
// while another one is being handled on the same thread.
class Subscriber {
public:
    virtual ~Subscriber() = default;
    // The most verbose level this subscriber writes.
    virtual Level max_level() const noexcept = 0;
    virtual void record(const Record& record) noexcept = 0;
};

namespace detail {
// The most verbose level that may be written, as a number; 0 writes nothing.
extern std::atomic<std::uint8_t> max_level_hint;
}  // namespace detail

// Whether a record at `level` may be written at all. Code that logs checks this
// before building a record; it is false while no subscriber is installed.
inline bool enabled(Level level) noexcept {
    return static_cast<std::uint8_t>(level) <= detail::max_level_hint.load(std::memory_order_relaxed);
}

// Makes `subscriber` the process-wide subscriber for the rest of the process
// and sets the maximum-level hint from it. Only the first call succeeds:
// later ones (from any thread) return false, discard their subscriber and
// leave the first one in force. A null subscriber is refused the same way.
bool install_global_subscriber(std::unique_ptr<Subscriber> subscriber) noexcept;

// Hands the record to the installed subscriber; without one the record is
// discarded.
void dispatch(const Record& record) noexcept;

// Builds a record at the caller's source location and dispatches it. The
// record's name is the name of the calling function.
void emit(Level level, std::string_view target, std::initializer_list<Field> fields,
          const std::source_location& location = std::source_location::current()) noexcept;
// The same, lying in `parent` rather than in the current thread's span.
void emit_in(const Span& parent, Level level, std::string_view target, std::initializer_list<Field> fields,
             const std::source_location& location = std::source_location::current()) noexcept;

}  // namespace vorna::log

// Logs a record whose fields are the remaining arguments, each {name, value}.
// The fields are not evaluated unless the level is enabled.
#define VORNA_LOG(level, target, ...)                                              \
    do {                                                                           \
        if (const ::vorna::log::Level vorna_log_level_ = (level);                  \
            ::vorna::log::enabled(vorna_log_level_)) {                             \
            ::vorna::log::emit(vorna_log_level_, (target), {__VA_ARGS__});         \
        }                                                                          \
    } while (false)

// The same, lying in the span `parent`.
#define VORNA_LOG_IN(parent, level, target, ...)                                   \
    do {                                                                           \
        if (const ::vorna::log::Level vorna_log_level_ = (level);                  \
            ::vorna::log::enabled(vorna_log_level_)) {                             \
            ::vorna::log::emit_in((parent), vorna_log_level_, (target), {__VA_ARGS__}); \
        }                                                                          \
    } while (false)
