// Fuzz target: texts that are valid UTF-8, as the Python layer hands them
// over, through all four parse entry points, with every failure rendered in
// both colour modes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/parse/parse.hpp"
#include "fuzz_common.hpp"

namespace {

using vorna::fuzz::check;

// A report always comes back; the fallback texts mean the renderer failed.
void check_report(const vorna::ParseError& error) {
    const std::string_view message = error.message();
    check(!message.empty(), "empty report");
    check(!message.starts_with("Failed to write error to string: "), "report could not be written");
    check(!message.starts_with("Invalid UTF-8 string: "), "report is not UTF-8");
    check(vorna::utf8::is_valid(message), "report is not valid UTF-8");
}

template <class T>
void render_both(const vorna::Match<T>& m, std::string_view text, std::string_view source_id) {
    const auto* issue = std::get_if<vorna::ParseIssue>(&m);
    if (!issue) return;
    const std::span<const vorna::ParseIssue> issues(issue, 1);
    check_report(vorna::render_parse_failure(text, source_id, issues, false));
    check_report(vorna::render_parse_failure(text, source_id, issues, true));
}

template <class R, class T> void check_parse(const R& result, const vorna::Match<T>& m) {
    check(result.ok() == std::holds_alternative<T>(m), "parse and match disagree");
    if (!result.ok()) check_report(result.error());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!vorna::utf8::is_valid(text)) return -1;  // not a str the Python layer could pass

    const vorna::fuzz::Matches m = vorna::fuzz::match_all(text);
    check_parse(vorna::parse_semver(text), m.semver);
    check_parse(vorna::parse_dot_separated(text), m.dot_separated);
    check_parse(vorna::parse_other(text), m.other);
    check_parse(vorna::parse_version(text), m.version);

    render_both(m.semver, text, vorna::source_id<vorna::SemVer>);
    render_both(m.dot_separated, text, vorna::source_id<vorna::DotSeparated>);
    render_both(m.other, text, vorna::source_id<vorna::Other>);
    render_both(m.version, text, vorna::source_id<vorna::Version>);
    return 0;
}
