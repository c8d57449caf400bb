// Parses every line of a version-string file with parse_version and counts
// the kinds. Usage: vorna_corpus_run FILE
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "core/parse/parse.hpp"
#include "core/unicode/utf8.hpp"

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
    std::size_t counts[3] = {0, 0, 0}, failed = 0, invalid_utf8 = 0, lines = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lines;
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
    return 0;
}
