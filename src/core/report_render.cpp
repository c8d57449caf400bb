// TEMPORARY placeholder so the core links while the report layout is built.
#include "core/report.hpp"

namespace vorna {

bool report_colour_enabled() noexcept { return false; }

ParseError render_parse_failure(std::string_view text, std::string_view source_id, std::span<const ParseIssue> issues) {
    return render_parse_failure(text, source_id, issues, report_colour_enabled());
}

ParseError render_parse_failure(std::string_view, std::string_view source_id, std::span<const ParseIssue> issues,
                                bool) {
    std::string message = "Error: \n";
    message.append(source_id);
    message.append(": ");
    issues.front().append_sentence(message);
    return ParseError(std::move(message));
}

}  // namespace vorna
