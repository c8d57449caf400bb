// The log stage: log records, spans and the subscriber that formats them,
// and the standard-output lock that records and test_function's lines share.
// This file is the dispatch: the subscriber slot and the level filter.

#include "core/log/log.hpp"

#include "core/platform/first_stored.hpp"

namespace vorna::log {

std::atomic<std::uint8_t> detail::max_level_hint{0};

namespace {

// The subscriber slot: the first subscriber stored stays for the rest of the
// process and is never freed.
FirstStored<Subscriber*> global_subscriber;

}  // namespace

bool install_global_subscriber(std::unique_ptr<Subscriber> subscriber) noexcept {
    if (!subscriber) return false;
    if (global_subscriber.store_first(subscriber.get()) != subscriber.get()) return false;
    const Subscriber* const installed = subscriber.release();
    detail::max_level_hint.store(static_cast<std::uint8_t>(installed->max_level()), std::memory_order_relaxed);
    return true;
}

void dispatch(const Record& record) noexcept {
    if (Subscriber* const subscriber = global_subscriber.load()) subscriber->record(record);
}

namespace {

Record make_record(Level level, std::string_view target, std::initializer_list<Field> fields,
                   const std::source_location& location, const Span* parent) noexcept {
    return Record{
        .level = level,
        .target = target,
        .name = location.function_name(),
        .file = std::string_view(location.file_name()),
        .line = location.line() != 0 ? std::optional<std::uint32_t>(location.line()) : std::nullopt,
        .fields = std::span<const Field>(fields.begin(), fields.size()),
        .parent = parent,
    };
}

}  // namespace

void emit(Level level, std::string_view target, std::initializer_list<Field> fields,
          const std::source_location& location) noexcept {
    dispatch(make_record(level, target, fields, location, nullptr));
}

void emit_in(const Span& parent, Level level, std::string_view target, std::initializer_list<Field> fields,
             const std::source_location& location) noexcept {
    dispatch(make_record(level, target, fields, location, &parent));
}

}  // namespace vorna::log
