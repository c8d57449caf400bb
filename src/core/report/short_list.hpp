// A list of trivially copyable elements that keeps its first few inside
// itself and goes to the heap only past them. A report nearly always has one
// issue on one or two lines: its lists then cost no allocation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>

namespace vorna {

template <class T, std::size_t Inline> class ShortList {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    static_assert(Inline > 0);

public:
    ShortList() noexcept = default;
    // Its elements may lie inside it: it is neither copied nor moved.
    ShortList(const ShortList&) = delete;
    ShortList& operator=(const ShortList&) = delete;
    ~ShortList() { release(); }

    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + size_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + size_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }
    T& back() noexcept { return data_[size_ - 1]; }
    const T& back() const noexcept { return data_[size_ - 1]; }
    operator std::span<const T>() const noexcept { return {data_, size_}; }

    // May throw std::bad_alloc, leaving the list as it was.
    void reserve(std::size_t capacity) {
        if (capacity <= capacity_) return;
        T* grown = static_cast<T*>(::operator new(capacity * sizeof(T)));
        if (size_ > 0) std::memcpy(static_cast<void*>(grown), data_, size_ * sizeof(T));
        release();
        data_ = grown;
        capacity_ = capacity;
    }
    void push_back(const T& value) {
        if (size_ == capacity_) {
            const T copy = value;  // `value` may lie in the storage given up
            reserve(capacity_ * 2);
            data_[size_++] = copy;
            return;
        }
        data_[size_++] = value;
    }

private:
    void release() noexcept {
        if (data_ != inline_) ::operator delete(data_);
    }

    T inline_[Inline];
    T* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = Inline;
};

}  // namespace vorna
