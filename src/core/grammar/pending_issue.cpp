#include "core/grammar/pending_issue.hpp"

#include "core/platform/fault.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna::grammar {

Expectation to_expectation(Expect e) {
    const auto index = static_cast<std::size_t>(e);
    if (index >= expect_count) internal_fault("an expectation outside the set of the grammars");
    const ExpectForm& form = expect_table[index];
    switch (form.kind) {
        case Expectation::Kind::Token: return Expectation::token_of(static_cast<unsigned char>(form.token));
        case Expectation::Kind::Label: return Expectation::label(form.label);
        case Expectation::Kind::EndOfInput: break;
    }
    return Expectation::end_of_input();
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
