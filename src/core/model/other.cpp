#include "core/model/other.hpp"

namespace vorna {

void append_debug(std::string& out, const Other& v) {
    out.append("Other { value: ");
    append_quoted(out, v.value());
    out.append(" }");
}

}  // namespace vorna
