// Lists of texts as the version model holds them.
//
// A value keeps all its lists (pre-release and build, or parts) packed in one
// heap block: the item count of each list, the end offset of every item, then
// the text of each list (its items joined by dots). Counts and offsets are
// 16-bit words while they fit (nearly always), else 32-bit ones. No block
// exists while every list is empty, so a plain 1.2.3 owns no heap memory at
// all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/model/block_layout.hpp"
#include "core/model/list_forms.hpp"
#include "core/model/list_source.hpp"
#include "core/model/list_view.hpp"
#include "core/platform/fault.hpp"

namespace vorna {

// Lists matched in `text`: where each lies (the ranges stay where the match
// recorded them), which are present (bit j for list j; an absent one reads
// as empty) and the block they take, worked out once, with the ranges
// checked, for the site that offers room for it and the build that fills it.
template <std::size_t N> struct MatchedLists {
    MatchedLists(std::string_view text, const std::array<const DottedRange*, N>& lists, unsigned present)
        : text(text), lists(lists), present(present), size(detail::BlockLayout::size_of(text, lists, present)) {}

    const std::string_view text;
    const std::array<const DottedRange*, N> lists;
    const unsigned present;
    const detail::BlockSize size;
};

// The lists of one value, `N` of them, in one block. Each list is absent or
// present; an absent list reads as empty. Copying copies the block.
template <std::size_t N> class PackedLists {
    static_assert(N >= 1 && N <= 2, "the presence flags and the external flag share the low address bits");
    using Layout = detail::BlockLayout;

public:
    constexpr PackedLists() noexcept = default;
    // The lists in order; nullopt marks an absent one.
    explicit PackedLists(const std::array<std::optional<ListSource>, N>& lists) { assign(lists); }
    // Lists matched in a text, the block built in `room` when one is given
    // (see BlockRoom), else on the heap. No items, no block.
    PackedLists(const MatchedLists<N>& matched, BlockRoom room)
        : word_((matched.size.bytes_total == 0
                     ? 0
                     : Layout::build(matched.text, matched.lists, matched.present, matched.size, room)) |
                matched.present) {}
    PackedLists(const PackedLists& other)
        : word_(reinterpret_cast<std::uintptr_t>(Layout::copy(other.block(), other.narrow(), N)) |
                (other.word_ & Layout::narrow_flag) | other.presence()) {}
    // A value whose block lies in memory it does not own (an instance's
    // tail) is never moved: the block would stay behind with that memory and
    // the moved value point into it once it is freed. Such a value is built
    // where it stays (the constructor above, assign) and copied from; moving
    // one ends the process. Every other move takes the block.
    PackedLists(PackedLists&& other) noexcept : word_(take(other)) {}
    PackedLists& operator=(const PackedLists& other) {
        if (this != &other) *this = PackedLists(other);
        return *this;
    }
    PackedLists& operator=(PackedLists&& other) noexcept {
        if (this != &other) {
            const std::uintptr_t word = take(other);
            if (owns_block()) Layout::release(block());
            word_ = word;
        }
        return *this;
    }
    ~PackedLists() {
        if (owns_block()) Layout::release(block());
    }

    bool present(std::size_t j) const noexcept { return (word_ >> j) & 1; }
    // List j; empty when absent.
    ListView get(std::size_t j) const noexcept { return Layout::view<N>(block(), narrow(), j); }
    std::optional<ListView> get_if_present(std::size_t j) const noexcept {
        if (!present(j)) return std::nullopt;
        return get(j);
    }

    // The block when it lies in memory the value does not own (see
    // BlockRoom), else null.
    const void* placed_block() const noexcept { return (word_ & Layout::external_flag) ? block() : nullptr; }

    // Replaces every list at once. The new block is complete before the old
    // one is freed, so a source may be a view into this very value (a list
    // kept, or `v.rc = v.meta`), and a failure leaves the value as it was.
    void assign(const std::array<std::optional<ListSource>, N>& lists) {
        const std::array<ListSource, N> sources{sources_of(lists, std::make_index_sequence<N>{})};
        std::uintptr_t word = Layout::build(std::span<const ListSource>(sources));
        for (std::size_t j = 0; j < N; ++j) word |= std::uintptr_t(lists[j].has_value()) << j;
        if (owns_block()) Layout::release(block());
        word_ = word;
    }
    // Replaces list j and keeps the others.
    void assign(std::size_t j, const std::optional<ListSource>& list) {
        std::array<std::optional<ListSource>, N> lists;
        for (std::size_t i = 0; i < N; ++i) {
            if (i == j) {
                lists[i] = list;
            } else if (present(i)) {
                lists[i].emplace(get(i));
            }
        }
        assign(lists);
    }

private:
    template <std::size_t... I>
    static std::array<ListSource, N> sources_of(const std::array<std::optional<ListSource>, N>& lists,
                                                std::index_sequence<I...>) noexcept {
        return {(lists[I] ? *lists[I] : ListSource(ListView()))...};
    }
    static std::uintptr_t take(PackedLists& other) noexcept {
        if (other.word_ & Layout::external_flag) [[unlikely]] {
            internal_fault("a value moved away from the memory that holds its block");
        }
        return std::exchange(other.word_, 0);
    }
    void* block() const noexcept { return reinterpret_cast<void*>(word_ & ~Layout::flag_mask); }
    bool narrow() const noexcept { return (word_ & Layout::narrow_flag) != 0; }
    bool owns_block() const noexcept { return (word_ & Layout::external_flag) == 0 && block() != nullptr; }
    std::uintptr_t presence() const noexcept {
        return word_ & (Layout::flag_mask & ~(Layout::external_flag | Layout::narrow_flag));
    }

    // The block address, the presence flag of list j in bit j, the external
    // flag and the narrow flag.
    std::uintptr_t word_ = 0;
};

// A value whose block of lists may lie in memory beside it that it does not
// own (an instance's tail): it stays where it was built. It is read, copied
// from and given a new value in place, but never moved or copied as a whole,
// so that the compiler refuses what would leave a value pointing into
// memory about to be freed (a std::swap, a move out of it). It holds exactly
// a T at its start, where a site builds the T.
template <class T> class InPlace {
public:
    InPlace() noexcept(std::is_nothrow_default_constructible_v<T>) = default;
    InPlace(const InPlace&) = delete;
    InPlace& operator=(const InPlace&) = delete;
    // A new value in place of the old one: copied, or moved from a value
    // that owns its block.
    InPlace& operator=(const T& value) {
        value_ = value;
        return *this;
    }
    InPlace& operator=(T&& value) noexcept {
        value_ = std::move(value);
        return *this;
    }

    const T& get() const noexcept { return value_; }
    T& get() noexcept { return value_; }

private:
    T value_;
};

}  // namespace vorna
