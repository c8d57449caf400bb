// A read-only list of texts inside a packed block, and its iterator.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "core/model/kind.hpp"

namespace vorna {

// A read-only list of texts inside a packed block (or an empty list). Valid
// while the value that owns the block is neither changed nor destroyed.
class ListView {
public:
    class iterator;

    constexpr ListView() noexcept = default;
    // `count` items, joined by dots in `bytes`: item i ends at byte ends[i]
    // and begins one byte (the dot) past the end of item i - 1, the first at
    // `first_start`. The ends are 16-bit words when `narrow`, else 32-bit
    // ones.
    ListView(const void* ends, bool narrow, std::uint32_t first_start, const char* bytes, std::size_t count) noexcept
        : ends_(ends), first_start_(first_start), narrow_(narrow), bytes_(bytes), count_(count) {}

    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }
    std::string_view operator[](std::size_t i) const noexcept {
        const std::uint32_t start = i == 0 ? first_start_ : end_of(i - 1) + 1;
        return {bytes_ + start, end_of(i) - start};
    }
    iterator begin() const noexcept;
    iterator end() const noexcept;
    std::string_view front() const noexcept { return (*this)[0]; }
    std::string_view back() const noexcept { return (*this)[count_ - 1]; }
    // The items with "." between neighbours, as they lie in the block: the
    // list's text form.
    std::string_view text() const noexcept {
        return {bytes_ + first_start_, count_ == 0 ? 0 : end_of(count_ - 1) - first_start_};
    }

    // An owned copy.
    TextList to_list() const;

    // Element-wise: same length, and equal texts at each position.
    friend bool operator==(const ListView& a, const ListView& b) noexcept;
    // Element-wise order; a proper prefix is less.
    friend std::strong_ordering operator<=>(const ListView& a, const ListView& b) noexcept;

private:
    std::uint32_t end_of(std::size_t i) const noexcept {
        return narrow_ ? static_cast<const std::uint16_t*>(ends_)[i] : static_cast<const std::uint32_t*>(ends_)[i];
    }

    const void* ends_ = nullptr;
    std::uint32_t first_start_ = 0;
    bool narrow_ = false;
    const char* bytes_ = nullptr;
    std::size_t count_ = 0;
};

class ListView::iterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    iterator() noexcept = default;
    iterator(const ListView& list, std::size_t index) noexcept : list_(list), index_(index) {}
    std::string_view operator*() const noexcept { return list_[index_]; }
    std::string_view operator[](difference_type n) const noexcept { return list_[index_ + n]; }
    iterator& operator++() noexcept { return ++index_, *this; }
    iterator operator++(int) noexcept { return {list_, index_++}; }
    iterator& operator--() noexcept { return --index_, *this; }
    iterator operator--(int) noexcept { return {list_, index_--}; }
    iterator& operator+=(difference_type n) noexcept { return index_ += n, *this; }
    iterator& operator-=(difference_type n) noexcept { return index_ -= n, *this; }
    friend iterator operator+(iterator i, difference_type n) noexcept { return i += n; }
    friend iterator operator+(difference_type n, iterator i) noexcept { return i += n; }
    friend iterator operator-(iterator i, difference_type n) noexcept { return i -= n; }
    friend difference_type operator-(iterator a, iterator b) noexcept {
        return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
    }
    friend bool operator==(iterator a, iterator b) noexcept { return a.index_ == b.index_; }
    friend auto operator<=>(iterator a, iterator b) noexcept { return a.index_ <=> b.index_; }

private:
    // A copy, so an iterator stays valid after the view it came from.
    ListView list_;
    std::size_t index_ = 0;
};

inline ListView::iterator ListView::begin() const noexcept { return {*this, 0}; }
inline ListView::iterator ListView::end() const noexcept { return {*this, count_}; }
inline TextList ListView::to_list() const { return TextList(begin(), end()); }

}  // namespace vorna
