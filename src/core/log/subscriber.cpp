#include "core/log/subscriber.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/log/span.hpp"
#include "core/log/stdout.hpp"
#include "core/log/thread_id.hpp"
#include "core/platform/thread.hpp"
#include "core/terminal/painter.hpp"
#include "core/unicode/text_forms.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna::log {

std::error_code StreamOutput::write(std::string_view text) noexcept {
    if (!handles_) return write_stdout(text);
    // Streams of the caller's own are kept apart by the same lock, taken
    // unless the caller holds it already.
    if (stdout_lock().held_here()) return platform::write_all(handles_->out, text);
    const std::lock_guard lock(stdout_lock());
    return platform::write_all(handles_->out, text);
}

void StreamOutput::report(std::string_view line) noexcept {
    try {
        std::string text(line);
        text.push_back('\n');
        // Nowhere left to report a failure to.
        (void)platform::write_all(handles_ ? handles_->err : platform::std_handle(platform::StdStream::error), text);
    } catch (...) {
        // Out of memory while reporting: the report is lost.
    }
}

bool colour_for_no_color(const char* value) noexcept {
    if (value == nullptr) return true;
    const std::string_view text(value);
    return text.empty() || !utf8::is_valid(text);
}

FormattingSubscriber::FormattingSubscriber(bool colour, Clock clock, ThreadNumbers thread_number,
                                           std::unique_ptr<Output> output) noexcept
    : colour_(colour), clock_(std::move(clock)), thread_number_(std::move(thread_number)), output_(std::move(output)) {}

namespace {

// SGR parameters of the styles.
struct LevelStyle {
    std::string_view label;
    std::string_view colour;
    std::string_view bold_colour;
};

const LevelStyle& level_style(Level level) noexcept {
    static constexpr LevelStyle styles[] = {
        {"ERROR", "31", "1;31"}, {" WARN", "33", "1;33"}, {" INFO", "32", "1;32"},
        {"DEBUG", "34", "1;34"}, {"TRACE", "35", "1;35"},
    };
    return styles[static_cast<std::size_t>(level) - 1];
}

constexpr std::string_view plain = "";
constexpr std::string_view bold = "1";
constexpr std::string_view dim = "2";
constexpr std::string_view dim_italic = "2;3";

// Shortest round-trip digits with at least one fractional digit ("3.0",
// "0.25"); scientific notation below 1e-4 and from 1e16 ("1e-5", "1.5e16").
void append_float(std::string& out, double x) {
    if (std::isnan(x)) {
        out.append("NaN");
        return;
    }
    if (std::isinf(x)) {
        out.append(x < 0 ? "-inf" : "inf");
        return;
    }
    const double magnitude = std::fabs(x);
    const bool scientific = (magnitude != 0 && magnitude < 1e-4) || magnitude >= 1e16;
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x,
                                         scientific ? std::chars_format::scientific : std::chars_format::fixed);
    (void)ec;  // shortest digits of a double in fixed notation below 1e16 take fewer than 30 characters
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    if (!scientific) {
        out.append(text);
        if (text.find('.') == std::string_view::npos) out.append(".0");
        return;
    }
    // to_chars writes the exponent with a sign and at least two digits.
    const std::size_t e = text.find('e');
    out.append(text.substr(0, e + 1));
    std::string_view exponent = text.substr(e + 1);
    if (exponent.front() == '-') out.push_back('-');
    exponent.remove_prefix(1);
    while (exponent.size() > 1 && exponent.front() == '0') exponent.remove_prefix(1);
    out.append(exponent);
}

// Texts in double quotes with escapes, numbers as digits, bools as words.
void append_debug(std::string& out, const Value& value) {
    struct Visitor {
        std::string& out;
        void operator()(std::string_view text) const { append_quoted(out, text); }
        void operator()(std::int64_t n) const { append_decimal(out, n); }
        void operator()(std::uint64_t n) const { append_decimal(out, n); }
        void operator()(bool b) const { out.append(b ? "true" : "false"); }
        void operator()(double x) const { append_float(out, x); }
    };
    std::visit(Visitor{out}, value.data());
}

// The name a field is printed under, or nullopt for a field that is not
// printed.
std::optional<std::string_view> printed_name(std::string_view name) noexcept {
    if (name.starts_with("log.")) return std::nullopt;
    if (name.starts_with("r#")) name.remove_prefix(2);
    return name;
}

bool has_printed_fields(std::span<const Field> fields) noexcept {
    for (const Field& f : fields) {
        if (printed_name(f.name)) return true;
    }
    return false;
}

// The message as its plain text, every other field as name ": " debug value,
// ", " between them.
void append_fields(Painter& painter, std::span<const Field> fields, std::string_view style,
                   std::string_view name_style) {
    std::string& out = painter.out();
    bool first = true;
    for (const Field& f : fields) {
        const std::optional<std::string_view> name = printed_name(f.name);
        if (!name) continue;
        if (!first) painter.piece(style, ", ");
        first = false;
        if (f.name == "message") {
            painter.open(style);
            if (const std::string_view* text = f.value.text()) {
                out.append(*text);
            } else {
                append_debug(out, f.value);
            }
            painter.close(style);
        } else {
            painter.piece(name_style, *name);
            painter.open(style);
            out.append(": ");
            append_debug(out, f.value);
            painter.close(style);
        }
    }
}

// Stands in for a record that could not be formatted.
void append_format_failure(std::string& out, const Record& record) {
    out.append("Unable to format the following event. Name: ").append(record.name).append("; Fields: [");
    bool first = true;
    for (const Field& f : record.fields) {
        if (!first) out.append(", ");
        first = false;
        out.append(f.name).append(": ");
        append_debug(out, f.value);
    }
    out.append("]\n");
}

// The thread's reusable formatting buffer, or a fresh one while the thread's
// buffer holds a record that is still being formatted (a record logged from
// inside the formatting of another).
struct ThreadBuffer {
    std::string text;
    bool busy = false;
};

class BufferLease {
public:
    BufferLease() : own_(&platform::this_thread_object<ThreadBuffer>()) {
        if (own_->busy) {
            own_ = nullptr;
        } else {
            own_->busy = true;
        }
    }
    ~BufferLease() {
        if (!own_) return;
        own_->text.clear();  // keeps the storage for the next record
        own_->busy = false;
    }
    BufferLease(const BufferLease&) = delete;
    BufferLease& operator=(const BufferLease&) = delete;

    std::string& get() noexcept { return own_ ? own_->text : fresh_; }

private:
    ThreadBuffer* own_;
    std::string fresh_;
};

}  // namespace

void FormattingSubscriber::format(const Record& record, std::string& out) const {
    Painter painter(out, colour_);
    const LevelStyle& style = level_style(record.level);

    out.append("  ");
    painter.open(dim);
    append_timestamp(out, clock_());
    painter.close(dim);
    out.push_back(' ');
    painter.piece(style.colour, style.label);
    out.push_back(' ');
    painter.piece(style.bold_colour, record.target);
    painter.piece(style.colour, ":");
    out.push_back(' ');
    append_fields(painter, record.fields, style.colour, style.bold_colour);
    out.push_back('\n');

    out.append("    ");
    if (record.file) {
        painter.piece(dim_italic, "at");
        out.push_back(' ');
        out.append(*record.file);
        if (record.line) {
            out.push_back(':');
            append_decimal(out, *record.line);
        }
        out.push_back(' ');
    }
    painter.piece(dim_italic, "on");
    out.append(" ThreadId(");
    append_decimal(out, thread_number_());
    out.append(")\n");

    const Span innermost = record.parent ? *record.parent : Span::current();
    for (const Span* span = &innermost; !span->empty(); span = &span->parent()) {
        out.append("    ");
        painter.piece(dim_italic, "in");
        out.push_back(' ');
        out.append(span->target()).append("::");
        painter.piece(bold, span->name());
        if (has_printed_fields(span->fields())) {
            out.push_back(' ');
            painter.piece(dim_italic, "with");
            out.push_back(' ');
            append_fields(painter, span->fields(), plain, bold);
        }
        out.push_back('\n');
    }
    out.push_back('\n');
}

void FormattingSubscriber::record(const Record& record) noexcept {
    if (record.level > max_level() || record.level < Level::error) return;

    std::optional<BufferLease> lease;
    try {
        lease.emplace();
    } catch (...) {
        output_->report("vorna: unable to format a log record");
        return;
    }
    std::string& out = lease->get();
    try {
        format(record, out);
    } catch (...) {
        out.clear();
        try {
            append_format_failure(out, record);
        } catch (...) {
            output_->report("vorna: unable to format a log record");
            return;
        }
    }

    if (const std::error_code error = output_->write(out)) {
        try {
            output_->report("vorna: unable to write a log record: " + describe_write_error(error));
        } catch (...) {
            output_->report("vorna: unable to write a log record");
        }
    }
}

std::unique_ptr<Subscriber> make_stdout_subscriber() {
    return std::make_unique<FormattingSubscriber>(colour_for_no_color(std::getenv("NO_COLOR")), system_time,
                                                  current_thread_number, std::make_unique<StreamOutput>());
}

}  // namespace vorna::log
