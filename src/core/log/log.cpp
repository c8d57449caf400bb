#include "core/log/log.hpp"

namespace vorna::log {

std::atomic<std::uint8_t> detail::max_level_hint{0};

namespace {

// The subscriber slot: claimed once by compare-and-swap, then filled, then
// marked installed. It never goes back.
enum SlotState : std::uint8_t { slot_empty, slot_installing, slot_installed };
std::atomic<std::uint8_t> slot_state{slot_empty};
// Written once, by the thread that claimed the slot, before slot_installed is
// published; read only after slot_installed has been seen.
Subscriber* global_subscriber = nullptr;

}  // namespace

bool install_global_subscriber(std::unique_ptr<Subscriber> subscriber) noexcept {
    if (!subscriber) return false;
    std::uint8_t expected = slot_empty;
    if (!slot_state.compare_exchange_strong(expected, slot_installing, std::memory_order_acquire)) return false;
    // The subscriber serves for the rest of the process and is never freed.
    global_subscriber = subscriber.release();
    slot_state.store(slot_installed, std::memory_order_release);
    detail::max_level_hint.store(static_cast<std::uint8_t>(global_subscriber->max_level()),
                                 std::memory_order_relaxed);
    return true;
}

void dispatch(const Record& record) noexcept {
    if (slot_state.load(std::memory_order_acquire) != slot_installed) return;
    global_subscriber->record(record);
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
