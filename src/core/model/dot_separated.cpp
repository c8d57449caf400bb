#include "core/model/dot_separated.hpp"

namespace vorna {

void append_debug(std::string& out, const DotSeparated& v) {
    out.append("DotSeparated { parts: ");
    append_quoted_list(out, v.parts());
    out.append(" }");
}

}  // namespace vorna
