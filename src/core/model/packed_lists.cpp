#include "core/model/packed_lists.hpp"

#include <limits>
#include <new>
#include <stdexcept>

#include "core/unicode/text_forms.hpp"

namespace vorna {

bool operator==(const ListView& a, const ListView& b) noexcept {
    if (a.size() != b.size() || a.byte_size() != b.byte_size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

std::strong_ordering operator<=>(const ListView& a, const ListView& b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (const auto c = compare_text(a[i], b[i]); c != 0) return c;
    }
    return a.size() <=> b.size();
}

bool operator==(const ListView& a, const TextList& b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

std::size_t ListSource::size() const noexcept {
    switch (kind_) {
        case Kind::Owned: return owned_->size();
        case Kind::Views: return views_.size();
        case Kind::Packed: return packed_.size();
    }
    return 0;
}

std::string_view ListSource::operator[](std::size_t i) const noexcept {
    switch (kind_) {
        case Kind::Owned: return (*owned_)[i];
        case Kind::Views: return views_[i];
        case Kind::Packed: return packed_[i];
    }
    return {};
}

namespace detail {

namespace {

constexpr std::size_t max_offset = std::numeric_limits<std::uint32_t>::max();

template <class Word> std::size_t total_items(const Word* block, std::size_t list_count) noexcept {
    std::size_t total = 0;
    for (std::size_t j = 0; j < list_count; ++j) total += block[j];
    return total;
}

template <class Word> std::size_t size_of_block(const Word* block, std::size_t list_count) noexcept {
    const std::size_t items = total_items(block, list_count);
    return (list_count + items) * sizeof(Word) + block[list_count + items - 1];
}

}  // namespace

std::size_t BlockLayout::size_of(std::size_t list_count, std::size_t items, std::size_t bytes) {
    // Offsets are at most 32-bit: 4 GiB of identifiers in one value is
    // refused rather than silently cut.
    if (items > max_offset || bytes > max_offset) throw std::length_error("version lists of 4 GiB or more");
    const std::size_t word = fits_narrow(items, bytes) ? sizeof(std::uint16_t) : sizeof(std::uint32_t);
    return (list_count + items) * word + bytes;
}

void* BlockLayout::copy(const void* block, bool narrow, std::size_t list_count) {
    if (!block) return nullptr;
    const std::size_t size = narrow ? size_of_block(static_cast<const std::uint16_t*>(block), list_count)
                                    : size_of_block(static_cast<const std::uint32_t*>(block), list_count);
    void* copy = allocate(size);
    std::memcpy(copy, block, size);
    return copy;
}

}  // namespace detail

std::size_t joined_size(const ListView& list) noexcept { return list.empty() ? 0 : list.byte_size() + list.size() - 1; }

char* write_joined(char* out, const ListView& list) noexcept {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) *out++ = '.';
        const std::string_view item = list[i];
        // Items are short; a byte loop beats a library call per item.
        for (const char c : item) *out++ = c;
    }
    return out;
}

void append_quoted_list(std::string& out, const ListView& list) {
    out.push_back('[');
    bool first = true;
    for (const std::string_view t : list) {
        if (!first) out.append(", ");
        append_quoted(out, t);
        first = false;
    }
    out.push_back(']');
}

}  // namespace vorna
