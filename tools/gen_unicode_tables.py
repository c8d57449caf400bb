#!/usr/bin/env python3
"""Generate src/core/unicode/unicode_tables.inc from the Unicode Character Database.

Rerun after updating the UCD (on Debian and Ubuntu: the `unicode-data` package,
which installs the files under /usr/share/unicode):

    python3 tools/gen_unicode_tables.py [--ucd DIR] [OUTPUT]

DIR defaults to /usr/share/unicode and OUTPUT to src/core/unicode/unicode_tables.inc
next to this script's repository. The output depends only on the UCD files, so
rerunning on the same data reproduces the file byte for byte. Commit the
regenerated file; a normal build never runs this script.

Files read from DIR:
    UnicodeData.txt               General_Category (with <..., First>/<..., Last> ranges)
    DerivedCoreProperties.txt     XID_Start, XID_Continue, Grapheme_Extend
    EastAsianWidth.txt            East_Asian_Width
    HangulSyllableType.txt        conjoining Hangul vowels and trailing consonants
    extracted/DerivedGeneralCategory.txt    optional cross-check of UnicodeData.txt
    extracted/DerivedEastAsianWidth.txt     defaults for unassigned code points,
                                            when EastAsianWidth.txt does not state them

Tables written (sorted, disjoint, maximal [first, last] ranges):
    xid_start_ranges        XID_Start
    xid_continue_ranges     XID_Continue
    grapheme_extend_ranges  Grapheme_Extend
    printable_ranges        every General_Category except Cc Cf Cs Co Cn Zl Zp Zs,
                            plus U+0020 SPACE
    zero_width_ranges       Mn, Me, Cf, Cc, U+200B, Hangul_Syllable_Type V and T
    wide_ranges             East_Asian_Width W or F, minus the zero-width ranges
"""

from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path

MAX_CODE_POINT = 0x10FFFF
CODE_POINTS = MAX_CODE_POINT + 1

NOT_PRINTABLE_CATEGORIES = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}
ZERO_WIDTH_CATEGORIES = {"Mn", "Me", "Cf", "Cc"}
ZERO_WIDTH_EXTRA = [0x200B]  # ZERO WIDTH SPACE (Cf today, listed in case that ever changes)
ZERO_WIDTH_HANGUL_TYPES = {"V", "T"}  # conjoining medial vowels and final consonants
WIDE_WIDTHS = {"W", "F"}

# Long value names used by the extracted/ files, mapped to the short ones.
EAW_ALIASES = {
    "Ambiguous": "A",
    "Fullwidth": "F",
    "Halfwidth": "H",
    "Neutral": "N",
    "Narrow": "Na",
    "Wide": "W",
}

RANGES_PER_LINE = 4


class UcdError(Exception):
    pass


def parse_code_points(field: str) -> tuple[int, int]:
    field = field.strip()
    if ".." in field:
        first, last = field.split("..")
        return int(first, 16), int(last, 16)
    cp = int(field, 16)
    return cp, cp


def read_lines(path: Path) -> list[str]:
    try:
        return path.read_text(encoding="utf-8").splitlines()
    except FileNotFoundError:
        raise UcdError(f"missing UCD file: {path}") from None


def file_version(path: Path) -> str:
    """The version in the first line, e.g. '# EastAsianWidth-15.0.0.txt'."""
    first = read_lines(path)[0]
    match = re.match(r"#\s*\S+?-(\d+\.\d+\.\d+)\.txt", first)
    if not match:
        raise UcdError(f"cannot find the Unicode version in the first line of {path}")
    return match.group(1)


def property_entries(path: Path):
    """Yields (first, last, [fields...]) for each data line of a UCD property file."""
    for line in read_lines(path):
        data = line.split("#", 1)[0].strip()
        if not data:
            continue
        fields = [f.strip() for f in data.split(";")]
        first, last = parse_code_points(fields[0])
        yield first, last, fields[1:]


def missing_entries(path: Path):
    """Yields (first, last, value) for each '# @missing: X..Y; value' line, in file order."""
    for line in read_lines(path):
        match = re.match(r"#\s*@missing:\s*([0-9A-Fa-f.]+)\s*;\s*(\S+)", line)
        if match:
            first, last = parse_code_points(match.group(1))
            yield first, last, match.group(2)


def general_categories(ucd: Path) -> list[str]:
    categories = ["Cn"] * CODE_POINTS
    range_start: tuple[int, str] | None = None
    for line in read_lines(ucd / "UnicodeData.txt"):
        if not line.strip():
            continue
        fields = line.split(";")
        cp, name, category = int(fields[0], 16), fields[1], fields[2]
        if name.endswith(", First>"):
            range_start = (cp, category)
            continue
        if name.endswith(", Last>"):
            if range_start is None or range_start[1] != category:
                raise UcdError(f"UnicodeData.txt: unmatched range end at U+{cp:04X}")
            for c in range(range_start[0], cp + 1):
                categories[c] = category
            range_start = None
            continue
        if range_start is not None:
            raise UcdError(f"UnicodeData.txt: range start without an end before U+{cp:04X}")
        categories[cp] = category
    if range_start is not None:
        raise UcdError("UnicodeData.txt: range start without an end at the end of the file")

    derived = ucd / "extracted" / "DerivedGeneralCategory.txt"
    if derived.exists():
        check = ["Cn"] * CODE_POINTS
        for first, last, fields in property_entries(derived):
            for c in range(first, last + 1):
                check[c] = fields[0]
        for c in range(CODE_POINTS):
            if check[c] != categories[c]:
                raise UcdError(
                    f"U+{c:04X} is {categories[c]} in UnicodeData.txt but {check[c]} in {derived}"
                )
    return categories


def binary_property(ucd: Path, file_name: str, prop: str) -> list[bool]:
    values = [False] * CODE_POINTS
    found = False
    for first, last, fields in property_entries(ucd / file_name):
        if fields[0] == prop:
            found = True
            for c in range(first, last + 1):
                values[c] = True
    if not found:
        raise UcdError(f"{file_name} has no entries for {prop}")
    return values


def east_asian_widths(ucd: Path) -> list[str]:
    path = ucd / "EastAsianWidth.txt"
    defaults = list(missing_entries(path))
    # Before Unicode 15.1 the defaults of unassigned CJK code points were only
    # given in prose in EastAsianWidth.txt; the extracted file states them.
    if len(defaults) <= 1:
        derived = ucd / "extracted" / "DerivedEastAsianWidth.txt"
        if not derived.exists():
            raise UcdError(f"{path} gives no defaults for unassigned code points and {derived} is missing")
        defaults = list(missing_entries(derived))
        if len(defaults) <= 1:
            raise UcdError(f"no defaults for unassigned code points in {path} or {derived}")

    widths = ["N"] * CODE_POINTS
    for first, last, value in defaults:
        value = EAW_ALIASES.get(value, value)
        for c in range(first, last + 1):
            widths[c] = value
    for first, last, fields in property_entries(path):
        for c in range(first, last + 1):
            widths[c] = fields[0]
    return widths


def hangul_syllable_types(ucd: Path) -> list[str | None]:
    types: list[str | None] = [None] * CODE_POINTS
    for first, last, fields in property_entries(ucd / "HangulSyllableType.txt"):
        for c in range(first, last + 1):
            types[c] = fields[0]
    return types


def to_ranges(members: list[bool]) -> list[tuple[int, int]]:
    ranges: list[tuple[int, int]] = []
    start = None
    for c, member in enumerate(members):
        if member and start is None:
            start = c
        elif not member and start is not None:
            ranges.append((start, c - 1))
            start = None
    if start is not None:
        ranges.append((start, MAX_CODE_POINT))
    return ranges


def ucd_version(ucd: Path) -> str:
    files = [
        ucd / "DerivedCoreProperties.txt",
        ucd / "EastAsianWidth.txt",
        ucd / "HangulSyllableType.txt",
    ]
    versions = {file_version(f) for f in files}
    if len(versions) != 1:
        raise UcdError(f"UCD files disagree on the Unicode version: {sorted(versions)}")
    return versions.pop()


def build_tables(ucd: Path) -> list[tuple[str, str, list[tuple[int, int]]]]:
    categories = general_categories(ucd)
    widths = east_asian_widths(ucd)
    hangul = hangul_syllable_types(ucd)

    printable = [cat not in NOT_PRINTABLE_CATEGORIES for cat in categories]
    printable[0x20] = True

    zero_width = [
        cat in ZERO_WIDTH_CATEGORIES or hangul[c] in ZERO_WIDTH_HANGUL_TYPES
        for c, cat in enumerate(categories)
    ]
    for c in ZERO_WIDTH_EXTRA:
        zero_width[c] = True
    wide = [w in WIDE_WIDTHS and not zero_width[c] for c, w in enumerate(widths)]

    return [
        ("xid_start_ranges", "XID_Start",
         to_ranges(binary_property(ucd, "DerivedCoreProperties.txt", "XID_Start"))),
        ("xid_continue_ranges", "XID_Continue",
         to_ranges(binary_property(ucd, "DerivedCoreProperties.txt", "XID_Continue"))),
        ("grapheme_extend_ranges", "Grapheme_Extend",
         to_ranges(binary_property(ucd, "DerivedCoreProperties.txt", "Grapheme_Extend"))),
        ("printable_ranges",
         "General_Category other than Cc Cf Cs Co Cn Zl Zp Zs, plus U+0020",
         to_ranges(printable)),
        ("zero_width_ranges",
         "Mn Me Cf Cc, U+200B, Hangul_Syllable_Type V and T: zero columns",
         to_ranges(zero_width)),
        ("wide_ranges",
         "East_Asian_Width W or F, not zero-width: two columns",
         to_ranges(wide)),
    ]


def render(version: str, tables) -> str:
    out = [
        "// Generated by tools/gen_unicode_tables.py from the Unicode Character",
        f"// Database, version {version}. Do not edit by hand; rerun the generator:",
        "//     python3 tools/gen_unicode_tables.py [--ucd DIR] [OUTPUT]",
        "//",
        "// Each table is a sorted list of disjoint, non-adjacent inclusive ranges",
        "// [first, last]. Included by src/core/unicode/unicode.cpp, which defines CodePointRange.",
    ]
    for name, description, ranges in tables:
        count = sum(last - first + 1 for first, last in ranges)
        out.append("")
        out.append(f"// {description}.")
        out.append(f"// {len(ranges)} ranges, {count} code points.")
        out.append(f"inline constexpr CodePointRange {name}[] = {{")
        cells = [f"{{0x{first:04X}, 0x{last:04X}}}" for first, last in ranges]
        for i in range(0, len(cells), RANGES_PER_LINE):
            out.append("    " + ", ".join(cells[i:i + RANGES_PER_LINE]) + ",")
        out.append("};")
    return "\n".join(out) + "\n"


def main(argv: list[str]) -> int:
    default_output = Path(__file__).resolve().parent.parent / "src" / "core" / "unicode" / "unicode_tables.inc"
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--ucd", type=Path, default=Path("/usr/share/unicode"),
                        help="directory holding the UCD files (default: %(default)s)")
    parser.add_argument("output", type=Path, nargs="?", default=default_output,
                        help="file to write (default: src/core/unicode/unicode_tables.inc)")
    args = parser.parse_args(argv)

    try:
        version = ucd_version(args.ucd)
        text = render(version, build_tables(args.ucd))
    except UcdError as error:
        print(f"gen_unicode_tables: {error}", file=sys.stderr)
        return 1
    args.output.write_text(text, encoding="utf-8", newline="\n")
    print(f"gen_unicode_tables: wrote {args.output} (Unicode {version})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
