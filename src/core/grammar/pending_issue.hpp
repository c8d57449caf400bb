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

#include "core/grammar/issue.hpp"

namespace vorna::grammar {

// Every item the grammars can expect; what each stands for in a report is
// in `expect_table`. The last member sizes the expected lists.
enum class Expect : std::uint8_t {
    TokenV,
    TokenDot,
    TokenHyphen,
    TokenPlus,
    EndOfInput,
    Digit,
    Integer,
    PartCharacter,
    DotList,
    Identifier,
};
inline constexpr std::size_t expect_count = static_cast<std::size_t>(Expect::Identifier) + 1;

// An item as a report shows it: a token (a single ASCII character), the end
// of input, or a label.
struct ExpectForm {
    Expect item;
    Expectation::Kind kind;
    char token = 0;               // Kind::Token
    std::string_view label = {};  // Kind::Label
};

// The one table of the items' forms, in the order of `Expect`.
inline constexpr std::array<ExpectForm, expect_count> expect_table = {{
    {Expect::TokenV, Expectation::Kind::Token, 'v'},
    {Expect::TokenDot, Expectation::Kind::Token, '.'},
    {Expect::TokenHyphen, Expectation::Kind::Token, '-'},
    {Expect::TokenPlus, Expectation::Kind::Token, '+'},
    {Expect::EndOfInput, Expectation::Kind::EndOfInput},
    {Expect::Digit, Expectation::Kind::Label, 0, "digit"},
    {Expect::Integer, Expectation::Kind::Label, 0, "integer"},
    {Expect::PartCharacter, Expectation::Kind::Label, 0, "alphanumeric or '-'"},
    {Expect::DotList, Expectation::Kind::Label, 0, "dot-separated list"},
    {Expect::Identifier, Expectation::Kind::Label, 0, "identifier"},
}};

constexpr bool table_follows_enum() noexcept {
    for (std::size_t i = 0; i < expect_count; ++i) {
        if (static_cast<std::size_t>(expect_table[i].item) != i) return false;
    }
    return true;
}
static_assert(table_follows_enum(), "expect_table lists the items in the order of Expect");

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

    State state() const noexcept { return static_cast<State>((bits_ >> state_shift) & 0x3); }
    std::size_t position() const noexcept { return position_; }
    std::size_t size() const noexcept { return (bits_ >> size_shift) & 0xF; }
    Expect operator[](std::size_t i) const noexcept { return static_cast<Expect>((bits_ >> (4 * i)) & 0xF); }
    Message message() const noexcept { return static_cast<Message>((bits_ >> message_shift) & 0xFF); }
    std::size_t message_end() const noexcept { return message_end_; }

    // A failed test at `position` that would have accepted `e`.
    void record(std::size_t position, Expect e) noexcept {
        if (state() == State::None || position > position_) {
            *this = expecting(position, e);
        } else if (position == position_ && state() == State::Expected) {
            append(e);
        }
    }

    // Combines `other` into this issue.
    void merge(const PendingIssue& other) noexcept {
        if (other.state() == State::None) return;
        if (state() == State::None || other.position_ > position_) {
            *this = other;
            return;
        }
        if (other.position_ < position_ || state() == State::Message) return;
        if (other.state() == State::Message) {
            *this = other;
            return;
        }
        if (other.size() > size()) {
            PendingIssue base = other;
            for (std::size_t i = 0; i < size(); ++i) base.append((*this)[i]);
            *this = base;
        } else {
            for (std::size_t i = 0; i < other.size(); ++i) append(other[i]);
        }
    }

    // Replaces the expected list by the one label; a free message stays.
    void relabel(Expect label) noexcept {
        if (state() != State::Expected) return;
        bits_ = with_state(State::Expected) | std::uint64_t{1} << size_shift | static_cast<std::uint64_t>(label);
    }

    // The public form: found character and span taken from `text`.
    ParseIssue to_issue(std::string_view text) const;

    static PendingIssue expecting(std::size_t position, Expect e) noexcept {
        PendingIssue issue;
        issue.position_ = position;
        issue.bits_ = with_state(State::Expected) | std::uint64_t{1} << size_shift | static_cast<std::uint64_t>(e);
        return issue;
    }
    // A failure described by a free message over the bytes [start, end).
    static PendingIssue failing(std::size_t start, std::size_t end, Message m) noexcept {
        PendingIssue issue;
        issue.position_ = start;
        issue.message_end_ = end;
        issue.bits_ = with_state(State::Message) | static_cast<std::uint64_t>(m) << message_shift;
        return issue;
    }

private:
    // The state, the list size and the expected items (four bits each, in
    // order) share one word. The tracker saves and restores whole issues
    // around every labelled rule, right after single items were recorded: a
    // word written whole is read back whole, where items written a byte at a
    // time and copied as a block make the processor wait for the stores.
    static constexpr unsigned size_shift = 4 * expect_count;
    static constexpr unsigned state_shift = size_shift + 4;
    static constexpr unsigned message_shift = state_shift + 2;
    static_assert(expect_count <= 15 && message_shift + 8 <= 64);

    static constexpr std::uint64_t with_state(State s) noexcept {
        return static_cast<std::uint64_t>(s) << state_shift;
    }

    void append(Expect e) noexcept {
        const std::size_t n = size();
        for (std::size_t i = 0; i < n; ++i) {
            if ((*this)[i] == e) return;
        }
        // Without duplicates the list cannot outgrow the set of items.
        if (n < expect_count) {
            bits_ += std::uint64_t{1} << size_shift;
            bits_ |= static_cast<std::uint64_t>(e) << (4 * n);
        }
    }

    std::size_t position_ = 0;
    std::uint64_t bits_ = 0;
    std::size_t message_end_ = 0;
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
