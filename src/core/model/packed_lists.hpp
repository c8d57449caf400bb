// Lists of texts as the version model holds them.
//
// A value keeps all its lists (pre-release and build, or parts) packed in one
// heap block: the item count of each list, the end offset of every item, then
// the bytes of all items back to back. No block exists while every list is
// empty, so a plain 1.2.3 owns no heap memory at all.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/model/kind.hpp"

namespace vorna {

// A read-only list of texts inside a packed block (or an empty list). Valid
// while the value that owns the block is neither changed nor destroyed.
class ListView {
public:
    class iterator;

    constexpr ListView() noexcept = default;
    // `count` items; item i ends at byte ends[i] of `bytes` and begins where
    // item i - 1 ends, the first at `first_start`.
    constexpr ListView(const std::uint32_t* ends, std::uint32_t first_start, const char* bytes, std::size_t count) noexcept
        : ends_(ends), first_start_(first_start), bytes_(bytes), count_(count) {}

    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }
    std::string_view operator[](std::size_t i) const noexcept {
        const std::uint32_t start = i == 0 ? first_start_ : ends_[i - 1];
        return {bytes_ + start, ends_[i] - start};
    }
    iterator begin() const noexcept;
    iterator end() const noexcept;
    std::string_view front() const noexcept { return (*this)[0]; }
    std::string_view back() const noexcept { return (*this)[count_ - 1]; }
    // Bytes of all items together, without separators.
    std::size_t byte_size() const noexcept { return count_ == 0 ? 0 : ends_[count_ - 1] - first_start_; }
    // All items back to back: they lie next to one another in the block.
    std::string_view bytes() const noexcept { return {bytes_ + first_start_, byte_size()}; }

    // An owned copy.
    TextList to_list() const;

    // Element-wise: same length, and equal texts at each position.
    friend bool operator==(const ListView& a, const ListView& b) noexcept;
    // Element-wise order; a proper prefix is less.
    friend std::strong_ordering operator<=>(const ListView& a, const ListView& b) noexcept;

private:
    const std::uint32_t* ends_ = nullptr;
    std::uint32_t first_start_ = 0;
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

bool operator==(const ListView& a, const TextList& b) noexcept;

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

// Where a value's block of lists goes. By default the value allocates the
// block and frees it with itself. A caller that owns memory which outlives
// the value (the tail of a Python instance that holds it) may offer room
// there instead; the value then never frees it. Copies always get a block of
// their own.
class BlockPlacement {
public:
    // Room for `bytes` bytes aligned to 8, or null to let the value allocate.
    // May throw std::bad_alloc.
    virtual void* place(std::size_t bytes) = 0;

protected:
    ~BlockPlacement() = default;
};

namespace detail {

// The block layout, shared by every count of lists: the item count of each
// list (32 bits each), the end offset of every item (32 bits each), then the
// bytes. Blocks are 8-aligned, which leaves the low bits of their address
// free for flags.
struct BlockLayout {
    static constexpr std::uintptr_t flag_mask = 0x7;
    // The block lives in memory the value does not own.
    static constexpr std::uintptr_t external_flag = 0x4;

    // Bytes of a block for `list_count` lists with `items` items of `bytes`
    // bytes in all. Throws std::length_error when the counts or offsets
    // outgrow 32 bits.
    static std::size_t size_of(std::size_t list_count, std::size_t items, std::size_t bytes);
    // A block for the lists in `lists` (each with size() and operator[]
    // giving texts), `items` items of `bytes` bytes in all. Null when no list
    // has an item; otherwise the block is placed by `placement` when it
    // offers room (then `external` is set) or allocated. Throws
    // std::length_error and std::bad_alloc.
    template <class List>
    static std::uint32_t* build(std::span<const List> lists, std::size_t items, std::size_t bytes,
                                BlockPlacement* placement, bool& external) {
        external = false;
        if (items == 0) return nullptr;
        const std::size_t size = size_of(lists.size(), items, bytes);
        void* room = placement ? placement->place(size) : nullptr;
        external = room != nullptr;
        auto* block = static_cast<std::uint32_t*>(room ? room : ::operator new(size));
        std::uint32_t* ends = block + lists.size();
        char* chars = reinterpret_cast<char*>(ends + items);
        std::uint32_t offset = 0;
        for (std::size_t j = 0; j < lists.size(); ++j) {
            const List& list = lists[j];
            block[j] = static_cast<std::uint32_t>(list.size());
            for (std::size_t i = 0; i < list.size(); ++i) {
                const std::string_view item = list[i];
                // Items are mostly short, where a byte loop beats a library call.
                if (item.size() > 16) {
                    std::memcpy(chars + offset, item.data(), item.size());
                    offset += static_cast<std::uint32_t>(item.size());
                } else {
                    for (const char c : item) chars[offset++] = c;
                }
                *ends++ = offset;
            }
        }
        return block;
    }
    // The same, with the items and their bytes counted here.
    template <class List>
    static std::uint32_t* build(std::span<const List> lists, BlockPlacement* placement, bool& external) {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const List& list : lists) {
            items += list.size();
            for (std::size_t i = 0; i < list.size(); ++i) bytes += list[i].size();
        }
        return build(lists, items, bytes, placement, external);
    }
    static std::uint32_t* copy(const std::uint32_t* block, std::size_t list_count);
    static void release(std::uint32_t* block) noexcept { ::operator delete(block); }
    template <std::size_t N> static ListView view(const std::uint32_t* block, std::size_t j) noexcept {
        if (!block) return {};
        std::size_t first = 0;
        std::size_t items = 0;
        for (std::size_t i = 0; i < N; ++i) {
            if (i < j) first += block[i];
            items += block[i];
        }
        const std::uint32_t* ends = block + N;
        const auto* chars = reinterpret_cast<const char*>(ends + items);
        return ListView(ends + first, first == 0 ? 0 : ends[first - 1], chars, block[j]);
    }
};

}  // namespace detail

// The lists of one value, `N` of them, in one block. Each list is absent or
// present; an absent list reads as empty. Copying copies the block.
template <std::size_t N> class PackedLists {
    static_assert(N >= 1 && N <= 2, "the presence flags and the external flag share the low address bits");
    using Layout = detail::BlockLayout;

public:
    constexpr PackedLists() noexcept = default;
    // The lists in order; nullopt marks an absent one.
    explicit PackedLists(const std::array<std::optional<ListSource>, N>& lists) { assign(lists); }
    // Lists matched in a text, each given by its items (an absent one by
    // `present` false), `items` items of `bytes` bytes in all, with the
    // block placed by `placement` if it offers room.
    PackedLists(const std::array<std::span<const std::string_view>, N>& lists, const std::array<bool, N>& present,
                std::size_t items, std::size_t bytes, BlockPlacement* placement) {
        bool external = false;
        std::uint32_t* block =
            Layout::build(std::span<const std::span<const std::string_view>>(lists), items, bytes, placement, external);
        word_ = reinterpret_cast<std::uintptr_t>(block) | (external ? Layout::external_flag : 0);
        for (std::size_t j = 0; j < N; ++j) word_ |= std::uintptr_t(present[j]) << j;
    }
    PackedLists(const PackedLists& other)
        : word_(reinterpret_cast<std::uintptr_t>(Layout::copy(other.block(), N)) | other.presence()) {}
    PackedLists(PackedLists&& other) noexcept : word_(other.word_) { other.word_ = 0; }
    PackedLists& operator=(const PackedLists& other) {
        if (this != &other) *this = PackedLists(other);
        return *this;
    }
    PackedLists& operator=(PackedLists&& other) noexcept {
        std::swap(word_, other.word_);
        return *this;
    }
    ~PackedLists() {
        if (owns_block()) Layout::release(block());
    }

    bool present(std::size_t j) const noexcept { return (word_ >> j) & 1; }
    // List j; empty when absent.
    ListView get(std::size_t j) const noexcept { return Layout::view<N>(block(), j); }
    std::optional<ListView> get_if_present(std::size_t j) const noexcept {
        if (!present(j)) return std::nullopt;
        return get(j);
    }

    // Replaces every list at once. The new block is complete before the old
    // one is freed, so a source may be a view into this very value (a list
    // kept, or `v.rc = v.meta`), and a failure leaves the value as it was.
    void assign(const std::array<std::optional<ListSource>, N>& lists) {
        const std::array<ListSource, N> sources{sources_of(lists, std::make_index_sequence<N>{})};
        bool external = false;
        std::uint32_t* block = Layout::build(std::span<const ListSource>(sources), nullptr, external);
        std::uintptr_t flags = 0;
        for (std::size_t j = 0; j < N; ++j) flags |= std::uintptr_t(lists[j].has_value()) << j;
        if (owns_block()) Layout::release(this->block());
        word_ = reinterpret_cast<std::uintptr_t>(block) | flags;
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
    std::uint32_t* block() const noexcept { return reinterpret_cast<std::uint32_t*>(word_ & ~Layout::flag_mask); }
    bool owns_block() const noexcept { return (word_ & Layout::external_flag) == 0 && block() != nullptr; }
    std::uintptr_t presence() const noexcept { return word_ & (Layout::flag_mask & ~Layout::external_flag); }

    // The block address, the presence flag of list j in bit j and the
    // external flag.
    std::uintptr_t word_ = 0;
};

// The texts with "." between neighbours, through the size-then-write pair.
std::size_t joined_size(const ListView& list) noexcept;
char* write_joined(char* out, const ListView& list) noexcept;
// Appends ["a", "b"]: the quoted texts, ", " between neighbours.
void append_quoted_list(std::string& out, const ListView& list);

}  // namespace vorna
