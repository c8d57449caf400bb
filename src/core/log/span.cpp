#include "core/log/span.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "core/platform/thread.hpp"

namespace vorna::log {

// All texts of the span live in `storage`, which is sized once before any
// view into it is taken and never changes afterwards.
struct Span::Data {
    std::string storage;
    std::string_view target;
    std::string_view name;
    std::vector<Field> fields;
    Span parent;
};

namespace {

// The spans a thread has entered, innermost last.
struct EnteredSpans {
    std::vector<Span> spans;
};

const Span& empty_span() noexcept {
    static const Span empty;
    return empty;
}

}  // namespace

Span::Span(std::string_view target, std::string_view name, std::initializer_list<Field> fields)
    : Span(current(), target, name, fields) {}

Span Span::child_of(const Span& parent, std::string_view target, std::string_view name,
                    std::initializer_list<Field> fields) {
    return Span(parent, target, name, fields);
}

Span::Span(const Span& parent, std::string_view target, std::string_view name, std::initializer_list<Field> fields) {
    auto data = std::make_shared<Data>();
    std::size_t size = target.size() + name.size();
    for (const Field& f : fields) {
        size += f.name.size();
        if (const std::string_view* text = f.value.text()) size += text->size();
    }
    std::string& storage = data->storage;
    storage.reserve(size);
    const auto keep = [&storage](std::string_view text) {
        const std::size_t start = storage.size();
        storage.append(text);
        return std::string_view(storage).substr(start);
    };
    data->target = keep(target);
    data->name = keep(name);
    data->fields.reserve(fields.size());
    for (const Field& f : fields) {
        const std::string_view* text = f.value.text();
        data->fields.push_back({keep(f.name), text ? Value(keep(*text)) : f.value});
    }
    data->parent = parent;
    data_ = std::move(data);
}

Span Span::current() noexcept {
    const EnteredSpans* entered = platform::this_thread_object_if_any<EnteredSpans>();
    return entered == nullptr || entered->spans.empty() ? Span() : entered->spans.back();
}

std::string_view Span::target() const noexcept { return data_ ? data_->target : std::string_view(); }
std::string_view Span::name() const noexcept { return data_ ? data_->name : std::string_view(); }
std::span<const Field> Span::fields() const noexcept {
    return data_ ? std::span<const Field>(data_->fields) : std::span<const Field>();
}
const Span& Span::parent() const noexcept { return data_ ? data_->parent : empty_span(); }

SpanGuard::SpanGuard(const Span& span) : span_(span) {
    if (!span_.empty()) platform::this_thread_object<EnteredSpans>().spans.push_back(span_);
}

SpanGuard::~SpanGuard() {
    if (span_.empty()) return;
    EnteredSpans* entered = platform::this_thread_object_if_any<EnteredSpans>();
    if (entered == nullptr) return;
    std::vector<Span>& spans = entered->spans;
    // Guards leave in reverse order, so this is the last entry; searching keeps
    // the stack consistent even if a guard outlives a later one.
    const auto it = std::find(spans.rbegin(), spans.rend(), span_);
    if (it != spans.rend()) spans.erase(std::next(it).base());
}

}  // namespace vorna::log
