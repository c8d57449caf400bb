// Spans: named regions of execution that log records can lie in. Each thread
// keeps a stack of the spans it has entered; a record without an explicit
// parent lies in the innermost one.
//
//     log::Span span("vorna::package", "parse", {{"input", text}});
//     log::SpanGuard entered(span);  // records logged here lie in `span`
#pragma once

#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>

#include "core/log/log.hpp"

namespace vorna::log {

// A shared handle to an immutable span. The span copies its target, name and
// fields, so the handle may outlive everything it was built from; it keeps its
// parent span alive. A default-constructed handle is the empty span: entering
// it does nothing, and a record whose explicit parent is empty lies in no span.
class Span {
public:
    Span() noexcept = default;
    // A span inside the span the current thread is in.
    Span(std::string_view target, std::string_view name, std::initializer_list<Field> fields = {});
    // A span inside `parent`.
    static Span child_of(const Span& parent, std::string_view target, std::string_view name,
                         std::initializer_list<Field> fields = {});

    // The innermost span the current thread has entered, or the empty span.
    static Span current() noexcept;

    bool empty() const noexcept { return data_ == nullptr; }
    // Target, name, fields and parent of a non-empty span.
    std::string_view target() const noexcept;
    std::string_view name() const noexcept;
    std::span<const Field> fields() const noexcept;
    // The enclosing span, or the empty span at the root (and for the empty span).
    const Span& parent() const noexcept;

    friend bool operator==(const Span& a, const Span& b) noexcept { return a.data_ == b.data_; }

private:
    struct Data;
    Span(const Span& parent, std::string_view target, std::string_view name, std::initializer_list<Field> fields);

    std::shared_ptr<const Data> data_;
};

// Enters a span on the current thread for the guard's lifetime. Guards nest;
// they cannot be copied or moved, so they leave in the reverse order.
class SpanGuard {
public:
    explicit SpanGuard(const Span& span);
    ~SpanGuard();
    SpanGuard(const SpanGuard&) = delete;
    SpanGuard& operator=(const SpanGuard&) = delete;

private:
    Span span_;
};

}  // namespace vorna::log
