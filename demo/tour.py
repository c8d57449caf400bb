"""A short tour of vorna: the report for a bad string, then classify, edit,
sort and compare version strings.

Run with `make demo`. Colour follows the terminal; NO_COLOR=1 turns it off.
"""
import os
import re
import sys
import textwrap
from contextlib import suppress
from pathlib import Path
from typing import Dict, List, Union

import vorna

# The classes are attributes (vorna.package.version.SemVer), never imported;
# bound once, the names also serve in annotations.
Version = vorna.package.version.Version
SemVer = vorna.package.version.SemVer
DotSeparated = vorna.package.version.DotSeparated
Other = vorna.package.version.Other
AnyKind = Union[SemVer, DotSeparated, Other]

SAMPLE = Path(__file__).with_name("sample_versions.txt")
KIND_COLOURS = {"SemVer": "32", "DotSeparated": "36", "Other": "35", "rejected": "31"}
# The report is coloured when standard error is a terminal; its colour codes
# are SGR sequences, which the tour removes wherever it means plain text.
SGR = re.compile(r"\x1b\[[0-9;]*m")


def use_colour() -> bool:
    """The report's rule, applied to the tour's own output."""
    if os.environ.get("CLICOLOR_FORCE", "0") != "0":
        return True
    return (
        sys.stdout.isatty()
        and os.environ.get("CLICOLOR") != "0"
        and not os.environ.get("NO_COLOR")
        and os.environ.get("TERM") != "dumb"
    )


COLOUR = use_colour()


def paint(text: str, kind: str) -> str:
    return f"\x1b[{KIND_COLOURS[kind]}m{text}\x1b[0m" if COLOUR else text


def heading(text: str) -> None:
    print(f"\n\x1b[1m{text}\x1b[0m" if COLOUR else f"\n{text}")


def inner(version: Version) -> AnyKind:
    """The value inside a Version: each kind's class accepts only its own kind."""
    with suppress(TypeError):
        return SemVer(version)
    with suppress(TypeError):
        return DotSeparated(version)
    return Other(version)


def fields(value: AnyKind) -> str:
    if isinstance(value, SemVer):
        text = f"major={value.major} minor={value.minor} patch={value.patch}"
        return text + "".join(f" {name}={'.'.join(v)}" for name, v in (("rc", value.rc), ("meta", value.meta)) if v)
    if isinstance(value, DotSeparated):
        return f"parts={value.parts}"
    return f"value={value.value!r}"


def label(error: RuntimeError) -> str:
    """The sentence of a report, plain: its label line without frame or colour."""
    return SGR.sub("", str(error)).splitlines()[-2].strip(" │╰─")


def report() -> None:
    print('A text that fits no grammar raises RuntimeError with a report; SemVer("1.2.x") gives:')
    try:
        SemVer("1.2.x")
    except RuntimeError as error:
        print(error if COLOUR else SGR.sub("", str(error)), end="")


def table(lines: List[str]) -> List[Version]:
    heading(f"The {len(lines)} version strings of {SAMPLE.name}, classified by Version(text):")
    print(f"  {'text':<22} {'kind':<13} fields")
    parsed: List[Version] = []
    counts = dict.fromkeys(KIND_COLOURS, 0)
    for text in lines:
        try:
            value = inner(Version(text))
        except RuntimeError as error:
            kind, detail = "rejected", label(error)
        else:
            parsed.append(Version(value))
            kind, detail = type(value).__name__, fields(value)
        counts[kind] += 1
        print(f"  {text:<22} {paint(f'{kind:<13}', kind)} {detail}")
    print("  " + ", ".join(f"{kind} {count}" for kind, count in counts.items()))
    return parsed


def edit() -> None:
    heading("Editing through properties (each read returns a copy; assign to change):")
    release = SemVer("v1.4.2-rc.2+build.77")
    release.rc, release.meta = None, ["sha", "5114f85"]
    release.minor += 1
    print(f"  SemVer('v1.4.2-rc.2+build.77'), rc and meta replaced, minor bumped -> {release}")
    dotted = DotSeparated("2024.05")
    dotted.parts = dotted.parts + ["hotfix"]
    print(f"  DotSeparated('2024.05') with a part appended                    -> {dotted}")
    built = SemVer(major=2, minor=0, patch=0, rc=["beta", "1"])
    print(f"  SemVer(major=2, minor=0, patch=0, rc=['beta', '1'])              -> {built}")


def sort(parsed: List[Version]) -> None:
    heading("Sorting: kinds first (SemVer < DotSeparated < Other), then within the kind:")
    print(textwrap.fill("  ".join(str(v) for v in sorted(parsed)), width=100, initial_indent="  ", subsequent_indent="  "))


def compare() -> None:
    heading("Comparisons that surprise:")
    why: Dict[str, str] = {
        "1.0.0-rc.10 1.0.0-rc.9": "pre-release identifiers compare as text, byte by byte",
        "1.10 1.9": "dotted parts compare as text too; only SemVer's three numbers are numbers",
        "1.0.0+build.1 1.0.0+build.2": "build metadata is ignored by == and by the order",
        "99.0.0 0": "every SemVer is below every DotSeparated, whatever the numbers",
        " 0": "the empty text is a valid DotSeparated with no parts",
    }
    for pair, reason in why.items():
        left, right = pair.split(" ")
        a, b = Version(left), Version(right)
        relation = "<" if a < b else ">" if a > b else "=="
        print(f"  {left or repr(left):>13} {relation:<2} {right:<14} {reason}")
    print(f"  SemVer('1.2.3') == Version('1.2.3') is {SemVer('1.2.3') == Version('1.2.3')}: different classes never compare equal")


def main() -> None:
    report()
    lines = [line for line in SAMPLE.read_text(encoding="utf-8").splitlines() if line]
    parsed = table(lines)
    edit()
    sort(parsed)
    compare()


if __name__ == "__main__":
    main()
