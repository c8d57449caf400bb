// The text forms of one list: joined by dots, or quoted for a debug form.
#pragma once

#include <cstddef>
#include <string>

#include "core/model/list_view.hpp"

namespace vorna {

// The texts with "." between neighbours, through the size-then-write pair.
std::size_t joined_size(const ListView& list) noexcept;
char* write_joined(char* out, const ListView& list) noexcept;
// Appends ["a", "b"]: the quoted texts, ", " between neighbours.
void append_quoted_list(std::string& out, const ListView& list);

}  // namespace vorna
