#include "core/model/list_view.hpp"

#include "core/unicode/text_forms.hpp"

namespace vorna {

bool operator==(const ListView& a, const ListView& b) noexcept {
    if (a.size() != b.size() || a.text().size() != b.text().size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

std::strong_ordering operator<=>(const ListView& a, const ListView& b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (const auto c = compare_text(a[i], b[i]); c != 0) return c;
    }
    return a.size() <=> b.size();
}

}  // namespace vorna
