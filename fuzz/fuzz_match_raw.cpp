// Fuzz target: arbitrary bytes, malformed UTF-8 included, straight into the
// match entry points. Malformed bytes read as U+FFFD, one byte each, so every
// grammar must still terminate with a sound value or issue. The quick
// semantic-version scan must take exactly what the matcher accepts, with the
// same shape. Building at a site (the path of the Python constructors) must
// accept what matching into a value accepts and build the same value, its
// block filling exactly the room it asked for: the room is an allocation of
// that size, so a sanitizer build sees any byte written past it.
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

#include "core/grammar/grammar.hpp"
#include "core/grammar/matcher.hpp"
#include "core/grammar/semver_scan.hpp"
#include "fuzz_common.hpp"

namespace {

void check_semver_scan(std::string_view text) {
    using namespace vorna::grammar;
    using vorna::fuzz::check;
    SemVerShape quick;
    SemVerShape general;
    const bool taken = scan_semver(text, quick);
    Matcher<NullTracker> m(text);
    check(taken == m.semver_text(general), "the semver scan and the matcher disagree on acceptance");
    if (!taken) return;
    check(quick.major == general.major && quick.minor == general.minor && quick.patch == general.patch,
          "the semver scan reads other numbers");
    check(quick.has_rc == general.has_rc && quick.has_meta == general.has_meta, "the semver scan sees other lists");
    for (const auto& [a, b] : {std::pair(quick.rc, general.rc), std::pair(quick.meta, general.meta)}) {
        check(a.begin == b.begin && a.end == b.end && a.count == b.count, "the semver scan lays a list out otherwise");
    }
}

// Storage for one value and, as an instance offers it, room for a short
// block; both freed with the site.
template <class T> class HeapSite final : public vorna::BuildSite {
public:
    HeapSite() = default;
    HeapSite(const HeapSite&) = delete;
    HeapSite& operator=(const HeapSite&) = delete;
    ~HeapSite() {
        if (built) value()->~T();
        ::operator delete(storage_);
        if (room_) ::operator delete(room_, std::align_val_t(16));
    }
    void* make(std::size_t block_bytes, vorna::BlockRoom& room) override {
        storage_ = ::operator new(sizeof(T));
        if (block_bytes != 0 && block_bytes <= 192) {
            room_ = ::operator new(block_bytes, std::align_val_t(16));
            room = {room_, block_bytes};
        }
        return storage_;
    }
    T* value() { return std::launder(static_cast<T*>(storage_)); }
    bool built = false;

private:
    void* storage_ = nullptr;
    void* room_ = nullptr;
};

template <class T> void check_match_at(std::string_view text, const vorna::Match<T>& matched) {
    using vorna::fuzz::check;
    HeapSite<T> site;
    site.built = !vorna::match_at<T>(text, site).has_value();
    const T* expected = std::get_if<T>(&matched);
    check(site.built == (expected != nullptr), "building at a site accepts other texts than matching");
    if (site.built) check(to_debug(*site.value()) == to_debug(*expected), "building at a site builds another value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vorna::fuzz::Matches m = vorna::fuzz::match_all(text);
    check_match_at(text, m.semver);
    check_match_at(text, m.dot_separated);
    check_match_at(text, m.other);
    check_match_at(text, m.version);
    check_semver_scan(text);
    return 0;
}
