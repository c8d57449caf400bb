// Lists of texts as the version model holds them.
//
// A value keeps all its lists (pre-release and build, or parts) packed in one
// heap block: the item count of each list, the end offset of every item, then
// the bytes of all items back to back. Counts and offsets are 16-bit words
// while they fit (nearly always), else 32-bit ones. No block exists while
// every list is empty, so a plain 1.2.3 owns no heap memory at all.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
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
    // item i - 1 ends, the first at `first_start`. The ends are 16-bit words
    // when `narrow`, else 32-bit ones.
    ListView(const void* ends, bool narrow, std::uint32_t first_start, const char* bytes, std::size_t count) noexcept
        : ends_(ends), first_start_(first_start), narrow_(narrow), bytes_(bytes), count_(count) {}

    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }
    std::string_view operator[](std::size_t i) const noexcept {
        const std::uint32_t start = i == 0 ? first_start_ : end_of(i - 1);
        return {bytes_ + start, end_of(i) - start};
    }
    iterator begin() const noexcept;
    iterator end() const noexcept;
    std::string_view front() const noexcept { return (*this)[0]; }
    std::string_view back() const noexcept { return (*this)[count_ - 1]; }
    // Bytes of all items together, without separators.
    std::size_t byte_size() const noexcept { return count_ == 0 ? 0 : end_of(count_ - 1) - first_start_; }
    // All items back to back: they lie next to one another in the block.
    std::string_view bytes() const noexcept { return {bytes_ + first_start_, byte_size()}; }

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

// A list as a match found it in a text: `count` non-empty items over the
// bytes [begin, end), separated by single dots (a single item may hold any
// bytes). No items means an empty range.
struct DottedRange {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::size_t count = 0;

    // The bytes of the items, without the dots.
    std::size_t item_bytes() const noexcept {
        return count == 0 ? 0 : static_cast<std::size_t>(end - begin) - (count - 1);
    }
};

// Where a value's block of lists goes. By default the value allocates the
// block and frees it with itself. A caller that owns memory which outlives
// the value (the tail of a Python instance that holds it) may offer room
// there instead; the value then never frees it. Copies always get a block of
// their own.
class BlockPlacement {
public:
    // Room for `bytes` bytes aligned to 16, or null to let the value allocate.
    // May throw std::bad_alloc.
    virtual void* place(std::size_t bytes) = 0;

protected:
    ~BlockPlacement() = default;
};

namespace detail {

// The block layout, shared by every count of lists: the item count of each
// list, the end offset of every item, then the bytes. Counts and offsets are
// 16-bit words when every one of them fits ("narrow"), else 32-bit words.
// Blocks are 16-aligned, which leaves the low bits of their address free for
// flags.
struct BlockLayout {
    static constexpr std::uintptr_t flag_mask = 0xF;
    // The block lives in memory the value does not own.
    static constexpr std::uintptr_t external_flag = 0x4;
    // Counts and offsets are 16-bit words.
    static constexpr std::uintptr_t narrow_flag = 0x8;
    static constexpr std::size_t alignment = 16;

    static constexpr bool fits_narrow(std::size_t items, std::size_t bytes) noexcept {
        return items <= 0xFFFF && bytes <= 0xFFFF;
    }
    // Bytes of a block for `list_count` lists with `items` items of `bytes`
    // bytes in all, in the width fits_narrow gives. Throws
    // std::length_error when the counts or offsets outgrow 32 bits.
    static std::size_t size_of(std::size_t list_count, std::size_t items, std::size_t bytes);
    // A block for the lists in `lists` (each with size() and operator[]
    // giving texts). Null when no list has an item; otherwise the block is
    // placed by `placement` when it offers room (then external_flag is set in
    // `flags`) or allocated; narrow_flag tells its width. Throws
    // std::length_error and std::bad_alloc.
    template <class List>
    static void* build(std::span<const List> lists, BlockPlacement* placement, std::uintptr_t& flags) {
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const List& list : lists) {
            items += list.size();
            for (std::size_t i = 0; i < list.size(); ++i) bytes += list[i].size();
        }
        flags = 0;
        if (items == 0) return nullptr;
        void* block = place_or_allocate(size_of(lists.size(), items, bytes), placement, flags);
        if (fits_narrow(items, bytes)) {
            flags |= narrow_flag;
            fill(static_cast<std::uint16_t*>(block), lists, items);
        } else {
            fill(static_cast<std::uint32_t*>(block), lists, items);
        }
        return block;
    }
    // The same for lists matched in a text, written straight from it.
    template <std::size_t N>
    static void* build(const std::array<DottedRange, N>& lists, BlockPlacement* placement, std::uintptr_t& flags) {
        flags = 0;
        std::size_t items = 0;
        std::size_t bytes = 0;
        for (const DottedRange& list : lists) {
            items += list.count;
            bytes += list.item_bytes();
        }
        if (items == 0) return nullptr;
        const bool narrow = fits_narrow(items, bytes);
        const std::size_t size = narrow ? (N + items) * sizeof(std::uint16_t) + bytes : size_of(N, items, bytes);
        void* block = place_or_allocate(size, placement, flags);
        if (narrow) {
            flags |= narrow_flag;
            fill<std::uint16_t>(static_cast<std::uint16_t*>(block), lists, items);
        } else {
            fill<std::uint32_t>(static_cast<std::uint32_t*>(block), lists, items);
        }
        return block;
    }
    static void* copy(const void* block, bool narrow, std::size_t list_count);
    // At least `alignment` bytes, so that the address with its flags still
    // points into the block: a leak checker that finds only the flagged
    // word then still counts the block as referenced.
    static void* allocate(std::size_t size) {
        if (size < alignment) size = alignment;
        if constexpr (__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignment) {
            return ::operator new(size);
        } else {
            return ::operator new(size, std::align_val_t(alignment));
        }
    }
    static void release(void* block) noexcept {
        if constexpr (__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignment) {
            ::operator delete(block);
        } else {
            ::operator delete(block, std::align_val_t(alignment));
        }
    }
    template <std::size_t N> static ListView view(const void* block, bool narrow, std::size_t j) noexcept {
        if (!block) return {};
        return narrow ? view<N>(static_cast<const std::uint16_t*>(block), j)
                      : view<N>(static_cast<const std::uint32_t*>(block), j);
    }

private:
    static void* place_or_allocate(std::size_t size, BlockPlacement* placement, std::uintptr_t& flags) {
        if (void* room = placement ? placement->place(size) : nullptr) {
            flags = external_flag;
            return room;
        }
        return allocate(size);
    }
    template <class Word, class List>
    static void fill(Word* block, std::span<const List> lists, std::size_t items) noexcept {
        Word* ends = block + lists.size();
        char* chars = reinterpret_cast<char*>(ends + items);
        std::uint32_t offset = 0;
        for (std::size_t j = 0; j < lists.size(); ++j) {
            const List& list = lists[j];
            block[j] = static_cast<Word>(list.size());
            for (std::size_t i = 0; i < list.size(); ++i) {
                const std::string_view item = list[i];
                if (!item.empty()) std::memcpy(chars + offset, item.data(), item.size());
                offset += static_cast<std::uint32_t>(item.size());
                *ends++ = static_cast<Word>(offset);
            }
        }
    }
    template <class Word, std::size_t N>
    static void fill(Word* block, const std::array<DottedRange, N>& lists, std::size_t items) noexcept {
        Word* ends = block + N;
        char* chars = reinterpret_cast<char*>(ends + items);
        std::uint32_t offset = 0;
        for (std::size_t j = 0; j < N; ++j) {
            const DottedRange& list = lists[j];
            block[j] = static_cast<Word>(list.count);
            if (list.count == 0) continue;
            if (list.count == 1) {
                const std::size_t size = static_cast<std::size_t>(list.end - list.begin);
                if (size != 0) std::memcpy(chars + offset, list.begin, size);
                offset += static_cast<std::uint32_t>(size);
            } else {
                // One walk over the list's bytes: a dot ends an item, any
                // other byte belongs to one. Items are short, where a byte
                // loop beats finding the dots and copying between them.
                for (const char* p = list.begin; p != list.end; ++p) {
                    const char c = *p;
                    if (c == '.') {
                        *ends++ = static_cast<Word>(offset);
                    } else {
                        chars[offset++] = c;
                    }
                }
            }
            *ends++ = static_cast<Word>(offset);
        }
    }
    template <std::size_t N, class Word> static ListView view(const Word* block, std::size_t j) noexcept {
        std::size_t first = 0;
        std::size_t items = 0;
        for (std::size_t i = 0; i < N; ++i) {
            if (i < j) first += block[i];
            items += block[i];
        }
        const Word* ends = block + N;
        const auto* chars = reinterpret_cast<const char*>(ends + items);
        return ListView(ends + first, sizeof(Word) == 2, first == 0 ? 0 : ends[first - 1], chars, block[j]);
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
    // Lists matched in a text (an absent one by `present` false), with the
    // block placed by `placement` if it offers room.
    PackedLists(const std::array<DottedRange, N>& lists, const std::array<bool, N>& present,
                BlockPlacement* placement) {
        std::uintptr_t flags = 0;
        void* block = Layout::build<N>(lists, placement, flags);
        word_ = reinterpret_cast<std::uintptr_t>(block) | flags;
        for (std::size_t j = 0; j < N; ++j) word_ |= std::uintptr_t(present[j]) << j;
    }
    PackedLists(const PackedLists& other)
        : word_(reinterpret_cast<std::uintptr_t>(Layout::copy(other.block(), other.narrow(), N)) |
                (other.word_ & Layout::narrow_flag) | other.presence()) {}
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
    ListView get(std::size_t j) const noexcept { return Layout::view<N>(block(), narrow(), j); }
    std::optional<ListView> get_if_present(std::size_t j) const noexcept {
        if (!present(j)) return std::nullopt;
        return get(j);
    }

    // Replaces every list at once. The new block is complete before the old
    // one is freed, so a source may be a view into this very value (a list
    // kept, or `v.rc = v.meta`), and a failure leaves the value as it was.
    void assign(const std::array<std::optional<ListSource>, N>& lists) {
        const std::array<ListSource, N> sources{sources_of(lists, std::make_index_sequence<N>{})};
        std::uintptr_t flags = 0;
        void* block = Layout::build(std::span<const ListSource>(sources), nullptr, flags);
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

// The texts with "." between neighbours, through the size-then-write pair.
std::size_t joined_size(const ListView& list) noexcept;
char* write_joined(char* out, const ListView& list) noexcept;
// Appends ["a", "b"]: the quoted texts, ", " between neighbours.
void append_quoted_list(std::string& out, const ListView& list);

}  // namespace vorna
