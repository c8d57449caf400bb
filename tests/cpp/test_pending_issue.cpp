#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/parse/parse.hpp"
#include "core/grammar/pending_issue.hpp"
#include "core/unicode/utf8.hpp"
#include "grammar_cases.hpp"

namespace vorna {
namespace {

// ---------------------------------------------------------------------------
// Combining issues, including the orders no grammar rule reaches today.

using grammar::Expect;
using grammar::PendingIssue;

PendingIssue expecting(std::size_t position, std::initializer_list<Expect> list) {
    PendingIssue issue = PendingIssue::expecting(position, *list.begin());
    for (const Expect e : list) issue.record(position, e);
    return issue;
}

PendingIssue too_large_at(std::size_t start, std::size_t end) {
    return PendingIssue::failing(start, end, grammar::Message::IntegerTooLarge);
}

std::vector<Expect> items_of(const PendingIssue& issue) {
    std::vector<Expect> items;
    for (std::size_t i = 0; i < issue.size(); ++i) items.push_back(issue[i]);
    return items;
}

struct MergeCase {
    std::string_view name;
    PendingIssue pending;
    PendingIssue arriving;
    PendingIssue::State state;
    std::size_t position;
    std::vector<Expect> items;  // for an expected/found result

    friend std::ostream& operator<<(std::ostream& os, const MergeCase& c) { return os << c.name; }
};

class GrammarPendingMerge : public testing::TestWithParam<MergeCase> {};

TEST_P(GrammarPendingMerge, Result) {
    const MergeCase& c = GetParam();
    PendingIssue issue = c.pending;
    issue.merge(c.arriving);
    EXPECT_EQ(issue.state(), c.state);
    EXPECT_EQ(issue.position(), c.position);
    if (c.state == PendingIssue::State::Expected) {
        EXPECT_EQ(items_of(issue), c.items);
    }
}

INSTANTIATE_TEST_SUITE_P(
    GrammarPending, GrammarPendingMerge,
    testing::Values(
        MergeCase{"into_nothing", PendingIssue{}, expecting(2, {Expect::Digit}), PendingIssue::State::Expected, 2,
                  {Expect::Digit}},
        MergeCase{"nothing_arrives", expecting(2, {Expect::Digit}), PendingIssue{}, PendingIssue::State::Expected, 2,
                  {Expect::Digit}},
        MergeCase{"further_wins", expecting(2, {Expect::Digit, Expect::TokenDot}), expecting(3, {Expect::Integer}),
                  PendingIssue::State::Expected, 3, {Expect::Integer}},
        MergeCase{"nearer_is_dropped", expecting(3, {Expect::Integer}), expecting(2, {Expect::Digit}),
                  PendingIssue::State::Expected, 3, {Expect::Integer}},
        MergeCase{"longer_arriving_list_is_the_base", expecting(4, {Expect::Digit}),
                  expecting(4, {Expect::PartCharacter, Expect::TokenDot}), PendingIssue::State::Expected, 4,
                  {Expect::PartCharacter, Expect::TokenDot, Expect::Digit}},
        MergeCase{"pending_is_the_base_on_a_tie", expecting(4, {Expect::Digit, Expect::TokenDot}),
                  expecting(4, {Expect::PartCharacter, Expect::TokenDot}), PendingIssue::State::Expected, 4,
                  {Expect::Digit, Expect::TokenDot, Expect::PartCharacter}},
        MergeCase{"no_duplicates_from_a_longer_list", expecting(4, {Expect::TokenDot}),
                  expecting(4, {Expect::PartCharacter, Expect::TokenDot, Expect::EndOfInput}),
                  PendingIssue::State::Expected, 4, {Expect::PartCharacter, Expect::TokenDot, Expect::EndOfInput}},
        MergeCase{"message_replaces_expected_at_its_position", expecting(0, {Expect::TokenV}), too_large_at(0, 10),
                  PendingIssue::State::Message, 0, {}},
        MergeCase{"expected_is_dropped_at_a_message", too_large_at(0, 10), expecting(0, {Expect::TokenV}),
                  PendingIssue::State::Message, 0, {}},
        MergeCase{"expected_further_than_a_message_wins", too_large_at(0, 10), expecting(10, {Expect::TokenDot}),
                  PendingIssue::State::Expected, 10, {Expect::TokenDot}},
        MergeCase{"message_nearer_than_expected_is_dropped", expecting(5, {Expect::Digit}), too_large_at(4, 24),
                  PendingIssue::State::Expected, 5, {Expect::Digit}}));

TEST(GrammarPendingIssue, RecordingEveryItemTwiceKeepsEachOnce) {
    PendingIssue issue;
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = grammar::expect_count; i-- > 0;) issue.record(7, static_cast<Expect>(i));
    }
    ASSERT_EQ(issue.size(), grammar::expect_count);
    for (std::size_t i = 0; i < grammar::expect_count; ++i) {
        EXPECT_EQ(issue[i], static_cast<Expect>(grammar::expect_count - 1 - i));
    }
}

TEST(GrammarPendingIssue, LabelReplacesOnlyWhatFailedAtTheRuleStart) {
    grammar::IssueTracker tracker;
    tracker.record(1, Expect::TokenV);
    // A rule starting at 1 whose first test fails: its label stands alone and
    // joins the set-aside issue at the same position.
    auto scope = tracker.open();
    tracker.record(1, Expect::PartCharacter);
    tracker.record(1, Expect::TokenDot);
    tracker.close(scope, 1, Expect::DotList);
    EXPECT_EQ(items_of(tracker.pending()), (std::vector<Expect>{Expect::TokenV, Expect::DotList}));
    // A rule starting at 1 that failed further on keeps its own list.
    scope = tracker.open();
    tracker.record(3, Expect::PartCharacter);
    tracker.close(scope, 1, Expect::DotList);
    EXPECT_EQ(tracker.pending().position(), 3u);
    EXPECT_EQ(items_of(tracker.pending()), std::vector<Expect>{Expect::PartCharacter});
    // A free message is never relabelled, and what the rule recorded before
    // failing with it is gone.
    scope = tracker.open();
    tracker.record(9, Expect::Digit);
    tracker.fail_with(3, 9, grammar::Message::IntegerTooLarge);
    tracker.close(scope, 3, Expect::Integer);
    EXPECT_EQ(tracker.pending().state(), PendingIssue::State::Message);
    EXPECT_EQ(tracker.pending().position(), 3u);
    EXPECT_EQ(tracker.pending().to_issue("1.2.999999999999").sentence(), too_large);
}

}  // namespace
}  // namespace vorna
