// The lists a caller hands to a value to be packed.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string_view>

#include "core/model/kind.hpp"
#include "core/model/list_view.hpp"

namespace vorna {

// A list handed to a value to be packed: a list of owned texts, a braced list
// of texts, another value's list, or views into a text. It refers to the list
// given, which must outlive the call it is passed to.
class ListSource {
public:
    ListSource(const TextList& list) noexcept : kind_(Kind::Owned), owned_(&list) {}
    ListSource(std::initializer_list<std::string_view> list) noexcept
        : kind_(Kind::Views), views_(list.begin(), list.size()) {}
    ListSource(std::span<const std::string_view> list) noexcept : kind_(Kind::Views), views_(list) {}
    ListSource(const ListView& list) noexcept : kind_(Kind::Packed), packed_(list) {}

    std::size_t size() const noexcept;
    std::string_view operator[](std::size_t i) const noexcept;

private:
    enum class Kind : unsigned char { Owned, Views, Packed };
    Kind kind_;
    const TextList* owned_ = nullptr;
    std::span<const std::string_view> views_;
    ListView packed_;
};

}  // namespace vorna
