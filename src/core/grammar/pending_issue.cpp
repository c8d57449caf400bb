#include "core/grammar/pending_issue.hpp"

#include "core/platform/fault.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna::grammar {

Expectation to_expectation(Expect e) {
    switch (e) {
        case Expect::TokenV: return Expectation::token_of('v');
        case Expect::TokenDot: return Expectation::token_of('.');
        case Expect::TokenHyphen: return Expectation::token_of('-');
        case Expect::TokenPlus: return Expectation::token_of('+');
        case Expect::EndOfInput: return Expectation::end_of_input();
        case Expect::Digit: return Expectation::label(label_digit);
        case Expect::Integer: return Expectation::label(label_integer);
        case Expect::PartCharacter: return Expectation::label(label_part_character);
        case Expect::DotList: return Expectation::label(label_dot_list);
        case Expect::Identifier: return Expectation::label(label_identifier);
    }
    internal_fault("an expectation outside the set of the grammars");
}

ParseIssue PendingIssue::to_issue(std::string_view text) const {
    if (state() == State::Message) return ParseIssue{position_, message_end_, std::string(message_text(message()))};
    // A failed match always recorded at least one test; should that ever not
    // hold, the issue still reports the start of the text.
    const std::size_t position = state() == State::Expected ? position_ : 0;
    ExpectedFound reason;
    std::size_t end = position;
    if (position < text.size()) {
        const utf8::Decoded d = utf8::decode(text, position);
        reason.found = d.scalar;
        end += d.length;
    }
    reason.expected.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) reason.expected.push_back(to_expectation((*this)[i]));
    return ParseIssue{position, end, std::move(reason)};
}

}  // namespace vorna::grammar
