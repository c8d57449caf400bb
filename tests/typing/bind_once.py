"""The classes bound once and used in annotations, as users write them. Every type
checker must accept this file (tools/typecheck.py); the suite also runs it."""
from collections import deque
from collections.abc import Sequence
from typing import Optional, Union

import vorna

Version = vorna.package.version.Version
SemVer = vorna.package.version.SemVer
DotSeparated = vorna.package.version.DotSeparated
Other = vorna.package.version.Other
AnyKind = Union[SemVer, DotSeparated, Other]


def bump(v: SemVer) -> SemVer:
    bumped = SemVer(v)
    bumped.minor += 1
    bumped.patch = 0
    bumped.rc = None
    return bumped


def prerelease(v: SemVer, rc: Sequence[str], meta: Optional[Sequence[str]] = None) -> SemVer:
    return SemVer(major=v.major, minor=v.minor, patch=v.patch, rc=rc, meta=meta)


def kind_of(v: Version) -> AnyKind:
    for kind in (SemVer, DotSeparated):
        try:
            return kind(v)
        except TypeError:
            pass
    return Other(v)


def main() -> None:
    assert str(bump(SemVer("1.2.3-rc.1"))) == "1.3.0"
    # A list field takes any sequence of str: a list, a tuple, a deque.
    assert str(prerelease(SemVer("1.2.3"), ("rc", "2"), deque(["b"]))) == "1.2.3-rc.2+b"
    dotted = DotSeparated(parts=["2024", "05"])
    dotted.parts = ("2024", "06")
    assert [type(kind_of(Version(t))).__name__ for t in ("1.0.0", "2024.05", "a_b")] == ["SemVer", "DotSeparated", "Other"]
    vorna.test_function(Version(dotted))


if __name__ == "__main__":
    main()
