#include "core/model/list_forms.hpp"

#include "core/unicode/text_forms.hpp"

namespace vorna {

std::size_t joined_size(const ListView& list) noexcept { return list.empty() ? 0 : list.byte_size() + list.size() - 1; }

char* write_joined(char* out, const ListView& list) noexcept {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) *out++ = '.';
        const std::string_view item = list[i];
        // Items are short; a byte loop beats a library call per item.
        for (const char c : item) *out++ = c;
    }
    return out;
}

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

}  // namespace vorna
