#include "core/text.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "core/unicode.hpp"
#include "core/utf8.hpp"

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

// Fills a block of `Word`s with the items of `lists`.
template <class Word, class List>
void fill_lists(Word* block, std::size_t list_count, const List* lists, std::size_t items) noexcept {
    Word* ends = block + list_count;
    char* chars = reinterpret_cast<char*>(ends + items);
    std::uint32_t offset = 0;
    for (std::size_t j = 0; j < list_count; ++j) {
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

template <class List>
void* BlockLayout::build(std::size_t list_count, const List* lists, BlockPlacement* placement, std::uintptr_t& flags) {
    std::size_t items = 0;
    std::size_t bytes = 0;
    for (std::size_t j = 0; j < list_count; ++j) {
        const List& list = lists[j];
        items += list.size();
        for (std::size_t i = 0; i < list.size(); ++i) bytes += list[i].size();
    }
    flags = 0;
    if (items == 0) return nullptr;
    const std::size_t size = size_of(list_count, items, bytes);
    void* block = placement ? placement->place(size) : nullptr;
    if (block) {
        flags = external_flag;
    } else {
        block = allocate(size);
    }
    if (fits_narrow(items, bytes)) {
        flags |= narrow_flag;
        fill_lists(static_cast<std::uint16_t*>(block), list_count, lists, items);
    } else {
        fill_lists(static_cast<std::uint32_t*>(block), list_count, lists, items);
    }
    return block;
}

template void* BlockLayout::build(std::size_t, const ListSource*, BlockPlacement*, std::uintptr_t&);

void* BlockLayout::copy(const void* block, bool narrow, std::size_t list_count) {
    if (!block) return nullptr;
    const std::size_t size = narrow ? size_of_block(static_cast<const std::uint16_t*>(block), list_count)
                                    : size_of_block(static_cast<const std::uint32_t*>(block), list_count);
    void* copy = allocate(size);
    std::memcpy(copy, block, size);
    return copy;
}

}  // namespace detail

bool is_ascii(std::string_view text) noexcept {
    unsigned char any = 0;
    for (const char c : text) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

std::size_t decimal_size(std::uint32_t n) noexcept {
    std::size_t size = 1;
    for (; n >= 10; n /= 10) ++size;
    return size;
}

char* write_decimal(char* out, std::uint32_t n) noexcept {
    // Ten digits always hold an unsigned 32-bit number.
    return std::to_chars(out, out + 10, n).ptr;
}

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

void append_joined(std::string& out, const ListView& list) {
    const std::size_t at = out.size();
    out.resize(at + joined_size(list));
    write_joined(out.data() + at, list);
}

void append_decimal(std::string& out, std::uint32_t n) {
    char digits[10];
    out.append(digits, write_decimal(digits, n));
}

namespace {

void append_escaped_scalar(std::string& out, char32_t c) {
    static constexpr char hex[] = "0123456789abcdef";
    out.append("\\u{");
    int shift = 20;
    while (shift > 0 && ((c >> shift) & 0xF) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) out.push_back(hex[(c >> shift) & 0xF]);
    out.push_back('}');
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
    out.push_back('"');
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Runs of plain ASCII are copied in one go.
        std::size_t run = pos;
        while (run < text.size()) {
            const auto b = static_cast<unsigned char>(text[run]);
            if (b < 0x20 || b >= 0x7F || b == '"' || b == '\\') break;
            ++run;
        }
        out.append(text, pos, run - pos);
        pos = run;
        if (pos == text.size()) break;

        const utf8::Decoded d = utf8::decode(text, pos);
        switch (d.scalar) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\t': out.append("\\t"); break;
            case '\r': out.append("\\r"); break;
            case '\n': out.append("\\n"); break;
            case 0: out.append("\\0"); break;
            default:
                if (d.scalar == utf8::replacement && d.length == 1) {
                    out.append("\xEF\xBF\xBD");  // malformed byte: keep the output valid UTF-8
                } else if (unicode::is_grapheme_extend(d.scalar) || !unicode::is_printable(d.scalar)) {
                    append_escaped_scalar(out, d.scalar);
                } else {
                    out.append(text, pos, d.length);
                }
        }
        pos += d.length;
    }
    out.push_back('"');
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
