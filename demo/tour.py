"""A short tour of vorna: classify, edit, sort and compare version strings.

Run with `make demo`.
"""
from collections import Counter
from pathlib import Path
from typing import TYPE_CHECKING, List, Union

import vorna
from vorna import package

if TYPE_CHECKING:
    # The classes' home for annotations: at run time they are only reached as
    # attributes (package.version.SemVer), never imported.
    from vorna import _VersionModule

Version, SemVer = package.version.Version, package.version.SemVer
DotSeparated, Other = package.version.DotSeparated, package.version.Other

SAMPLE = Path(__file__).with_name("sample_versions.txt")


def heading(text: str) -> None:
    print(f"\n== {text} ==")


def kind_of(version: "_VersionModule.Version") -> str:
    # The debug form names the kind: Version::SemVer { ... }
    return repr(version).split("::", 1)[1].split(" ", 1)[0]


def classify(lines: List[str]) -> "List[_VersionModule.Version]":
    heading(f"Classifying {len(lines)} real version strings from {SAMPLE.name}")
    parsed, rejected = [], []
    for text in lines:
        try:
            version = Version(text)
        except RuntimeError:
            rejected.append(text)
            continue
        parsed.append(version)
        print(f"  {text:<24} -> {kind_of(version)}")
    for text in rejected:
        print(f"  {text:<24} -> rejected (no grammar fits)")
    counts = Counter(kind_of(v) for v in parsed)
    print("  kinds:", ", ".join(f"{kind} {counts[kind]}" for kind in ("SemVer", "DotSeparated", "Other")))
    return parsed


def edit() -> None:
    heading("Editing a SemVer through its properties")
    release = SemVer("v1.4.2-rc.2+build.77")
    print("  parsed:         ", repr(release))
    release.rc = None
    release.meta = ["sha", "5114f85"]
    print("  rc cleared:     ", release)
    release.minor += 1
    release.patch = 0
    print("  minor bumped:   ", release)
    built = SemVer(major=2, minor=0, patch=0, rc=["beta", "1"])
    print("  from keywords:  ", built, "|", repr(built))
    dotted = DotSeparated(parts=["2024", "05"])
    dotted.parts = dotted.parts + ["hotfix"]
    print("  dotted edited:  ", dotted)
    other = Other(value="edge")
    print("  other:          ", repr(other))


def sort(parsed: "List[_VersionModule.Version]") -> None:
    heading("Sorting a mixed list (SemVer < DotSeparated < Other; pre-releases first)")
    for version in sorted(parsed):
        print(f"  {str(version):<24} {kind_of(version)}")


def compare() -> None:
    heading("Comparing")
    pairs = [
        ("1.0.0-alpha", "1.0.0"),
        ("1.0.0-rc.10", "1.0.0-rc.9"),
        ("1.10.0", "1.9.0"),
        ("1.0.0+build.1", "1.0.0+build.2"),
        ("99.0.0", "0"),
        ("1.10", "1.9"),
    ]
    for left, right in pairs:
        a, b = Version(left), Version(right)
        relation = "<" if a < b else ">" if a > b else "=="
        print(f"  {left:<16} {relation:<2} {right}")
    print("  SemVer('1.2.3') == Version('1.2.3'):", SemVer("1.2.3") == Version("1.2.3"), "(different classes)")


def bad_string() -> None:
    heading("The report for a bad string")
    for cls, text in ((SemVer, "1.2.x"), (Version, "1.2.3_beta")):
        try:
            cls(text)
        except RuntimeError as error:
            print(f"{cls.__name__}({text!r}) raised RuntimeError:")
            print(error)


def main() -> None:
    lines = [line for line in SAMPLE.read_text(encoding="utf-8").splitlines() if line]
    parsed = classify(lines)
    edit()
    sort(parsed)
    compare()
    bad_string()
    heading("test_function")
    vorna.test_function(Version("1.2.3"))


if __name__ == "__main__":
    main()
