// Fuzz target: arbitrary bytes, malformed UTF-8 included, straight into the
// match entry points. Malformed bytes read as U+FFFD, one byte each, so every
// grammar must still terminate with a sound value or issue. The quick
// semantic-version scan must take exactly what the matcher accepts, with the
// same shape.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)vorna::fuzz::match_all(text);
    check_semver_scan(text);
    return 0;
}
