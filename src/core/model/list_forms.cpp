#include "core/model/list_forms.hpp"

#include "core/platform/fault.hpp"

namespace vorna {

void append_quoted_list(std::string& out, const ListView& list) {
    out.push_back('[');
    bool first = true;
    for (const std::string_view t : list) {
        if (!first) out.append(", ");
        append_quoted(out, t);
        first = false;
    }
    out.push_back(']');
}

void CharWriter::refuse(bool past_the_end) noexcept {
    if (past_the_end) internal_fault("a text writer was given more than its storage holds");
    internal_fault("a text writer was left short of the end of its storage");
}

}  // namespace vorna
