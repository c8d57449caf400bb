// Expectation tracking for the version grammars: the one pending issue a
// match keeps while it runs, and the two trackers the matcher is built with.
//
// The pending issue is a small fixed-size value: the grammars can only ever
// expect the items of the closed set `Expect`, and an expected list holds no
// duplicates, so it never needs more room than that set has members. It is
// turned into the public ParseIssue only when a match fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "core/report.hpp"

namespace vorna::grammar {

// Every item the grammars can expect. Tokens are single ASCII characters.
// The last member sizes the expected lists.
enum class Expect : std::uint8_t {
    TokenV,         // 'v'
    TokenDot,       // '.'
    TokenHyphen,    // '-'
    TokenPlus,      // '+'
    EndOfInput,     // end of input
    Digit,          // "digit"
    Integer,        // "integer"
    PartCharacter,  // "alphanumeric or '-'"
    DotList,        // "dot-separated list"
    Identifier,     // "identifier"
};
inline constexpr std::size_t expect_count = static_cast<std::size_t>(Expect::Identifier) + 1;

inline constexpr std::string_view label_digit = "digit";
inline constexpr std::string_view label_integer = "integer";
inline constexpr std::string_view label_part_character = "alphanumeric or '-'";
inline constexpr std::string_view label_dot_list = "dot-separated list";
inline constexpr std::string_view label_identifier = "identifier";

// Free messages replace the expected/found sentence of an issue.
enum class Message : std::uint8_t { IntegerTooLarge };

constexpr std::string_view message_text(Message m) noexcept {
    switch (m) {
        case Message::IntegerTooLarge: return "integer too large (maximum 4294967295)";
    }
    return {};
}

Expectation to_expectation(Expect e);

// The issue a match keeps while it runs. Rules for combining a new issue with
// the pending one:
// - the issue at the greater position wins; one at a smaller position is
//   dropped;
// - at equal positions a free message wins over an expected/found issue, and
//   a pending free message is kept against anything that arrives;
// - otherwise the expected lists are united without duplicates (`record`
//   appends; `merge` takes the longer list as the base, the pending one on a
//   tie, and appends the entries of the other that it lacks).
class PendingIssue {
public:
    enum class State : std::uint8_t { None, Expected, Message };

    State state() const noexcept { return state_; }
    std::size_t position() const noexcept { return position_; }
    std::size_t size() const noexcept { return size_; }
    Expect operator[](std::size_t i) const noexcept { return items_[i]; }
    Message message() const noexcept { return message_; }
    std::size_t message_end() const noexcept { return message_end_; }

    // A failed test at `position` that would have accepted `e`.
    void record(std::size_t position, Expect e) noexcept {
        if (state_ == State::None || position > position_) {
            *this = expecting(position, e);
        } else if (position == position_ && state_ == State::Expected) {
            append(e);
        }
    }

    // Combines `other` into this issue.
    void merge(const PendingIssue& other) noexcept {
        if (other.state_ == State::None) return;
        if (state_ == State::None || other.position_ > position_) {
            *this = other;
            return;
        }
        if (other.position_ < position_ || state_ == State::Message) return;
        if (other.state_ == State::Message) {
            *this = other;
            return;
        }
        if (other.size_ > size_) {
            PendingIssue base = other;
            for (std::size_t i = 0; i < size_; ++i) base.append(items_[i]);
            *this = base;
        } else {
            for (std::size_t i = 0; i < other.size_; ++i) append(other.items_[i]);
        }
    }

    // Replaces the expected list by the one label; a free message stays.
    void relabel(Expect label) noexcept {
        if (state_ != State::Expected) return;
        items_[0] = label;
        size_ = 1;
    }

    // The public form: found character and span taken from `text`.
    ParseIssue to_issue(std::string_view text) const;

    static PendingIssue expecting(std::size_t position, Expect e) noexcept {
        PendingIssue issue;
        issue.state_ = State::Expected;
        issue.position_ = position;
        issue.items_[0] = e;
        issue.size_ = 1;
        return issue;
    }
    // A failure described by a free message over the bytes [start, end).
    static PendingIssue failing(std::size_t start, std::size_t end, Message m) noexcept {
        PendingIssue issue;
        issue.state_ = State::Message;
        issue.position_ = start;
        issue.message_end_ = end;
        issue.message_ = m;
        return issue;
    }

private:
    void append(Expect e) noexcept {
        for (std::size_t i = 0; i < size_; ++i) {
            if (items_[i] == e) return;
        }
        // Without duplicates the list cannot outgrow the set of items.
        if (size_ < items_.size()) items_[size_++] = e;
    }

    std::size_t position_ = 0;
    std::size_t message_end_ = 0;
    State state_ = State::None;
    Message message_ = Message::IntegerTooLarge;
    std::uint8_t size_ = 0;
    std::array<Expect, expect_count> items_{};
};

static_assert(std::is_trivially_copyable_v<PendingIssue>);

// Tracks expectations for a match whose failure is reported.
class IssueTracker {
public:
    // A labelled rule sets the pending issue aside while it runs, then
    // relabels what it recorded at its own start and merges that back.
    using Scope = PendingIssue;

    void record(std::size_t position, Expect e) noexcept { pending_.record(position, e); }
    // Replaces what was recorded since the innermost `open` by one free
    // message: a rule that fails for a reason of its own.
    void fail_with(std::size_t start, std::size_t end, Message m) noexcept {
        pending_ = PendingIssue::failing(start, end, m);
    }

    Scope open() noexcept {
        Scope outer = pending_;
        pending_ = PendingIssue{};
        return outer;
    }
    void close(const Scope& outer, std::size_t start, Expect label) noexcept {
        PendingIssue inner = pending_;
        if (inner.state() == PendingIssue::State::Expected && inner.position() == start) inner.relabel(label);
        pending_ = outer;
        pending_.merge(inner);
    }

    const PendingIssue& pending() const noexcept { return pending_; }

private:
    PendingIssue pending_;
};

// Tracks nothing: the matcher built with it only decides acceptance, which
// never depends on the expectations.
struct NullTracker {
    struct Scope {};
    void record(std::size_t, Expect) noexcept {}
    void fail_with(std::size_t, std::size_t, Message) noexcept {}
    Scope open() noexcept { return {}; }
    void close(const Scope&, std::size_t, Expect) noexcept {}
};

}  // namespace vorna::grammar
