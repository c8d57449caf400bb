// The whole path of a rejected text: grammar, issue, rendered report.
#include <gtest/gtest.h>

#include <string>

#include "core/parse/parse.hpp"

namespace vorna {
namespace {

// The report without its SGR sequences, so the comparison holds whatever the
// process decided about colour.
std::string without_colour(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
            i += 2;
            while (i < text.size() && text[i] != 'm') ++i;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

struct ReportCase {
    const char* name;
    Result<Version, ParseError> (*parse)(std::string_view);
    const char* input;
    const char* report;
};

Result<Version, ParseError> semver_as_version(std::string_view text) {
    auto r = parse_semver(text);
    if (!r) return std::move(r).error();
    return Version(std::move(r).value());
}

class ParseReport : public testing::TestWithParam<ReportCase> {};

TEST_P(ParseReport, ExactReportText) {
    const ReportCase& c = GetParam();
    const auto result = c.parse(c.input);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(without_colour(result.error().message()), c.report);
    EXPECT_EQ(result.error().debug_form(), result.error().message());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseReport,
    testing::Values(
        ReportCase{"semver_letter_for_integer", semver_as_version, "1.2.x",
                   "Error: \n"
                   "   ╭─[ vorna::package::version::semver::SemVer:1:5 ]\n"
                   "   │\n"
                   " 1 │ 1.2.x\n"
                   "   │     ┬\n"
                   "   │     ╰── found 'x' expected integer\n"
                   "───╯\n"},
        ReportCase{"semver_cut_short", semver_as_version, "1.2",
                   "Error: \n"
                   "   ╭─[ vorna::package::version::semver::SemVer:1:4 ]\n"
                   "   │\n"
                   " 1 │ 1.2\n"
                   "   │    ┬\n"
                   "   │    ╰── found end of input expected digit, or '.'\n"
                   "───╯\n"},
        ReportCase{"version_lone_dot", parse_version, ".",
                   "Error: \n"
                   "   ╭─[ vorna::package::version::Version:1:1 ]\n"
                   "   │\n"
                   " 1 │ .\n"
                   "   │ ┬\n"
                   "   │ ╰── found '.' expected 'v', integer, dot-separated list, end of input, or identifier\n"
                   "───╯\n"},
        ReportCase{"semver_integer_too_large", semver_as_version, "4294967296.0.0",
                   "Error: \n"
                   "   ╭─[ vorna::package::version::semver::SemVer:1:1 ]\n"
                   "   │\n"
                   " 1 │ 4294967296.0.0\n"
                   "   │ ────┬─────\n"
                   "   │     ╰── integer too large (maximum 4294967295)\n"
                   "───╯\n"}),
    [](const testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

// With a captured trace, the debug form (the text of the Python exception)
// is the message, a blank line, the heading and the trace as captured.
TEST(ParseErrorForms, DebugFormCarriesTheBacktrace) {
    const ParseError error("Error: bad\n", "   0: vorna::parse\n   1: main\n");
    EXPECT_EQ(error.debug_form(), "Error: bad\n\n\nStack backtrace:\n   0: vorna::parse\n   1: main\n");
    EXPECT_EQ(error.message(), "Error: bad\n");
}

}  // namespace
}  // namespace vorna
