#include "core/version.hpp"

namespace vorna {

void append_text(std::string& out, const Version& v) {
    std::visit([&](const auto& inner) { append_text(out, inner); }, v.value());
}

void append_debug(std::string& out, const Version& v) {
    out.append("Version::");
    std::visit([&](const auto& inner) { append_debug(out, inner); }, v.value());
}

}  // namespace vorna
