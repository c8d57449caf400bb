// Parses every line of a version-string file with parse_version and counts
// the kinds, and checks on every line that the quick semantic-version scan
// takes exactly what the matcher accepts, with the same shape; it exits with
// 1 when they disagree. Usage: vorna_corpus_run FILE
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "core/grammar/matcher.hpp"
#include "core/grammar/semver_scan.hpp"
#include "core/parse/parse.hpp"
#include "core/unicode/utf8.hpp"

namespace {

bool same(const vorna::DottedRange& a, const vorna::DottedRange& b) {
    return a.begin == b.begin && a.end == b.end && a.count == b.count;
}

// Whether the scan and the matcher agree on `text`; `taken` says if the scan
// took it.
bool scan_agrees(std::string_view text, bool& taken) {
    using namespace vorna::grammar;
    SemVerShape quick;
    SemVerShape general;
    taken = scan_semver(text, quick);
    Matcher<NullTracker> m(text);
    if (taken != m.semver_text(general)) return false;
    return !taken || (quick.major == general.major && quick.minor == general.minor && quick.patch == general.patch &&
                      quick.has_rc == general.has_rc && quick.has_meta == general.has_meta &&
                      same(quick.rc, general.rc) && same(quick.meta, general.meta));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FILE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cannot open " << argv[1] << "\n";
        return 2;
    }
    std::size_t counts[3] = {0, 0, 0}, failed = 0, invalid_utf8 = 0, lines = 0, scanned = 0, disagree = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lines;
        bool taken = false;
        if (!scan_agrees(line, taken)) {
            ++disagree;
            std::cerr << "the semver scan and the matcher disagree on line " << lines << "\n";
        }
        scanned += taken;
        if (!vorna::utf8::is_valid(line)) {
            ++invalid_utf8;
            continue;
        }
        auto result = vorna::parse_version(line);
        if (result) {
            ++counts[static_cast<int>(result.value().kind())];
        } else {
            ++failed;
        }
    }
    std::printf("lines %zu\nSemVer %zu\nDotSeparated %zu\nOther %zu\nfailed %zu\ninvalid-utf8 %zu\n", lines, counts[0],
                counts[1], counts[2], failed, invalid_utf8);
    std::printf("semver scan: taken %zu, disagreements %zu\n", scanned, disagree);
    return disagree == 0 ? 0 : 1;
}
