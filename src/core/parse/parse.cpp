// The parse stage, the core's front door: match a text, and on failure render
// its report into a ParseError.

#include "core/parse/parse.hpp"

namespace vorna {

namespace {

template <class T> Result<T, ParseError> parse(std::string_view text) {
    T value;
    if (std::optional<ParseFailure> failure = parse_into(text, value)) return failure->to_error();
    return value;
}

}  // namespace

Result<SemVer, ParseError> parse_semver(std::string_view text) { return parse<SemVer>(text); }
Result<DotSeparated, ParseError> parse_dot_separated(std::string_view text) { return parse<DotSeparated>(text); }
Result<Other, ParseError> parse_other(std::string_view text) { return parse<Other>(text); }
Result<Version, ParseError> parse_version(std::string_view text) { return parse<Version>(text); }

}  // namespace vorna
