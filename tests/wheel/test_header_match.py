"""The comparison that lets an aarch64 wheel be built against x86_64's headers:
it must flag every difference a module could see."""
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import header_match  # noqa: E402

AMD64 = "#define SIZEOF_LONG 8\n#define HAVE_X87 1\n/* #undef HAVE_WIDE */\n#define TIER 1\n"
ARM64 = "#define SIZEOF_LONG 8\n#define HAVE_WIDE 1\n#define TIER 2\n"


def test_differences_and_their_values_written_into_a_pyconfig():
    changed = header_match.differences(AMD64, ARM64)
    assert changed == {"HAVE_X87": None, "HAVE_WIDE": "1", "TIER": "2"}
    assert header_match.macros(header_match.with_values(AMD64, changed)) == header_match.macros(ARM64)


COMMON = ["int PyLong_AsLong(void);", "#define Py_INCREF(op) _Py_INCREF(op)"]


@pytest.mark.parametrize("extra, used, flagged", [
    ([], set(), []),
    # Declared on one side only, and unused: unseen.
    (["void _Py_x87(void);", "#define Py_HAVE_X87 1"], {"PyLong_AsLong"}, []),
    # The module calls what only one side declares.
    (["void _Py_x87(void);"], {"_Py_x87"}, ["_Py_x87"]),
    # A line that differs but names nothing of its own (a changed signature).
    (["void PyLong_AsLong(int);"], set(), ["nothing of its own"]),
    # The module tests a differing pyconfig.h macro itself.
    ([], {"TIER"}, ["TIER"]),
])
def test_what_the_module_could_see(extra, used, flagged):
    problems = header_match.unseen_problems(COMMON + extra, COMMON, {"TIER": "2"}, used)
    assert len(problems) == len(flagged)
    for problem, word in zip(problems, flagged):
        assert word in problem
