"""Small helpers shared by the tests of the version classes."""
import re

import vorna

version = vorna.package.version
Version = version.Version
SemVer = version.SemVer
DotSeparated = version.DotSeparated
Other = version.Other

KIND_CLASSES = [SemVer, DotSeparated, Other]
ALL_CLASSES = [Version, SemVer, DotSeparated, Other]


class Index:
    """An object that is an integer only through __index__."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


_ANSI = re.compile(r"\x1b\[[0-9;]*m")


def plain(text):
    """The report text without colour escapes (present only when colour is forced)."""
    return _ANSI.sub("", text)


def sample(cls):
    """A small instance of `cls`, built without the grammar."""
    if cls is SemVer:
        return SemVer(major=1, minor=2, patch=3, rc=["rc", "1"], meta=["b"])
    if cls is DotSeparated:
        return DotSeparated(parts=["1", "2"])
    if cls is Other:
        return Other(value="nightly")
    return Version(sample(SemVer))


def check_report(message, source_id, text, column, sentence):
    """Asserts the layout of a parse report for a failure on line 1."""
    lines = plain(message).split("\n")
    assert lines[0] == "Error: "
    assert lines[1] == f"   ╭─[ {source_id}:1:{column} ]"
    assert lines[2] == "   │"
    assert lines[3].rstrip() == f" 1 │ {text}".rstrip()
    assert lines[5].endswith(" " + sentence)
    assert lines[6] == "───╯"
