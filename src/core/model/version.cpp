#include "core/model/version.hpp"

namespace vorna {

void append_text(std::string& out, const Version& v) {
    v.visit([&](const auto& inner) { append_text(out, inner); });
}

void append_debug(std::string& out, const Version& v) {
    out.append("Version::");
    v.visit([&](const auto& inner) { append_debug(out, inner); });
}

}  // namespace vorna
