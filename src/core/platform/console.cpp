#include "core/platform/console.hpp"

#include "core/unicode/utf8.hpp"

namespace vorna::platform {

std::u16string utf16_from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const utf8::Decoded d = utf8::decode(text, pos);
        pos += d.length;
        if (d.scalar < 0x10000) {
            out.push_back(static_cast<char16_t>(d.scalar));
        } else {
            const char32_t v = d.scalar - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        }
    }
    return out;
}

}  // namespace vorna::platform
