"""Every entry point of the classes, repeated: memory must stay flat and no
argument may gain or lose a reference."""
import gc
import os
import resource
import sys

import pytest
import vorna

from classes_helpers import DotSeparated, Other, SemVer, Version

pytestmark = pytest.mark.stress

# Under the sanitizers every call is far slower and memory is not comparable.
# A debug interpreter is several times slower too; there the interpreter's
# own totals check every round exactly (below).
SANITIZED = bool(os.environ.get("VORNA_ASAN"))
DEBUG_INTERPRETER = hasattr(sys, "gettotalrefcount")
ROUNDS = 300 if SANITIZED else 30_000 if DEBUG_INTERPRETER else 150_000
WARM_UP = 100 if SANITIZED else 2000
PAGE = resource.getpagesize()


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class NameRaisingMeta(type):
    @property
    def __name__(cls):
        raise KeyError("name")


class Nameless(metaclass=NameRaisingMeta):
    pass


def make_arguments():
    """Objects only this test refers to, so their reference counts are exact."""
    return {
        "semver_text": "".join(["1.2.3-rc.1", "+build.5"]),
        "dotted_text": "".join(["2024.", "05.x"]),
        "other_text": "".join(["foo_", "bar"]),
        "bad_text": "".join(["1.2.", "x"]),
        "surrogate": "".join(["a", "\ud800"]),
        "parts": ["".join(["a", "1"]), "".join(["b", "2"])],
        "parts_tuple": ("".join(["x", "1"]),),
        "number": 2**31 + 12345,
        "too_big": 2**32 + 1,
        "index": Index(2**31 + 7),
        "kwargs": {"major": 2**31 + 1, "minor": 2, "patch": 3, "rc": ["r"], "meta": None},
        "foreign": object(),
        "nameless": Nameless(),
    }


def expect(error, call, *args, **kwargs):
    # Spreading even an empty mapping would select the keyword form.
    try:
        if kwargs:
            call(*args, **kwargs)
        else:
            call(*args)
    except error:
        return
    raise AssertionError(f"{call!r} did not raise {error.__name__}")


def one_round(a, semver, dotted, other, version):
    # Constructors, every form.
    v1 = Version(a["semver_text"])
    v2 = Version(a["dotted_text"])
    v3 = Version(a["other_text"])
    Version(semver), Version(dotted), Version(other), Version(version)
    s1 = SemVer(a["semver_text"])
    s2 = SemVer(**a["kwargs"])
    SemVer(semver), SemVer(v1)
    d1 = DotSeparated(a["dotted_text"])
    DotSeparated(parts=a["parts"]), DotSeparated(parts=a["parts_tuple"]), DotSeparated(dotted), DotSeparated(v2)
    o1 = Other(a["other_text"])
    Other(value=a["other_text"]), Other(other), Other(v3)

    # Properties.
    s2.major, s2.minor, s2.patch, s2.rc, s2.meta, d1.parts, o1.value
    s2.major = a["number"]
    s2.minor = a["index"]
    s2.patch = True
    s2.rc = a["parts"]
    s2.rc = None
    s2.meta = a["parts_tuple"]
    d1.parts = a["parts"]
    o1.value = a["other_text"]

    # Text forms and comparisons.
    str(v1), repr(v1), str(s1), repr(s1), str(d1), repr(d1), str(o1), repr(o1)
    for left, right in ((v1, v2), (s1, s2), (d1, dotted), (o1, other)):
        left == right, left != right, left < right, left <= right, left > right, left >= right
    s1 == a["foreign"], v1 != a["semver_text"]
    for left, right in ((s1, v1), (d1, o1), (v3, other)):
        left == right, left != right
        expect(TypeError, lambda: left < right)
        expect(TypeError, lambda: left >= right)
    expect(TypeError, hash, d1)

    # Failure paths.
    expect(ValueError, SemVer)
    expect(ValueError, Version)
    expect(NotImplementedError, DotSeparated, a["dotted_text"], a["dotted_text"])
    expect(TypeError, lambda: Other(a["other_text"], **{}))
    expect(TypeError, Version, a["semver_text"], k=1)
    expect(ValueError, Other, value=a["other_text"], bad=1)
    expect(TypeError, SemVer, minor=1, patch=2)
    expect(ValueError, DotSeparated, value=a["parts"])
    expect(TypeError, SemVer, v2)
    expect(TypeError, Other, a["foreign"])
    expect(KeyError, Version, a["nameless"])
    expect(RuntimeError, SemVer, a["bad_text"])
    expect(RuntimeError, Version, a["bad_text"] + "_")
    expect(UnicodeEncodeError, Other, a["surrogate"])
    expect(UnicodeEncodeError, DotSeparated, parts=[a["surrogate"]])
    expect(OverflowError, SemVer, major=a["too_big"], minor=0, patch=0)
    expect(AttributeError, delattr, s2, "rc")
    expect(TypeError, setattr, s2, "major", a["other_text"])
    expect(OverflowError, setattr, s2, "minor", a["too_big"])
    expect(TypeError, setattr, d1, "parts", a["dotted_text"])
    expect(TypeError, setattr, d1, "parts", {a["other_text"]})
    expect(TypeError, setattr, o1, "value", a["parts"])
    expect(TypeError, vorna.test_function, s1)
    expect(TypeError, vorna.test_function, v1, v2)
    expect(TypeError, vorna.test_function, ver=v1)
    expect(TypeError, vorna.init_tracing, v1)


def test_repeated_use_is_flat():
    arguments = make_arguments()
    semver = SemVer(major=1, minor=2, patch=3, rc=["a"])
    dotted = DotSeparated(parts=["1", "2"])
    other = Other(value="x")
    version = Version(semver)
    watched = list(arguments.values()) + list(arguments["parts"]) + [semver, dotted, other, version,
                                                                     Version, SemVer, DotSeparated, Other]

    for _ in range(WARM_UP):
        one_round(arguments, semver, dotted, other, version)
    gc.collect()
    counts = [sys.getrefcount(o) for o in watched]
    start = resident_bytes()

    for _ in range(ROUNDS):
        one_round(arguments, semver, dotted, other, version)
    gc.collect()

    grown = resident_bytes() - start
    assert [sys.getrefcount(o) for o in watched] == counts
    if not SANITIZED:
        assert grown < 1024 * 1024, f"resident memory grew by {grown} bytes over {ROUNDS} rounds"


# Interpreter-wide totals that only a debug build of CPython keeps.
TOTALS = ("gettotalrefcount", "getallocatedblocks")
LEAK_ROUNDS = 200


def interpreter_totals():
    gc.collect()
    return [getattr(sys, name)() for name in TOTALS]


def totals_growth(rounds, *state):
    before = interpreter_totals()
    for _ in range(rounds):
        one_round(*state)
    after = interpreter_totals()
    return {name: a - b for name, a, b in zip(TOTALS, after, before)}


@pytest.mark.skipif(not all(hasattr(sys, name) for name in TOTALS), reason="needs a debug build of CPython")
def test_interpreter_totals_do_not_grow_with_rounds():
    # Growth that scales with the rounds is a leak: a reference or a block
    # kept per call. What the first rounds fill once (caches, free lists)
    # shows up in both runs alike.
    state = (make_arguments(), SemVer(major=1, minor=2, patch=3, rc=["a"]), DotSeparated(parts=["1", "2"]),
             Other(value="x"))
    state += (Version(state[1]),)
    totals_growth(LEAK_ROUNDS, *state)
    short = totals_growth(LEAK_ROUNDS, *state)
    long = totals_growth(10 * LEAK_ROUNDS, *state)
    print(f"growth over {LEAK_ROUNDS} rounds: {short}; over {10 * LEAK_ROUNDS} rounds: {long}")
    for name in TOTALS:
        assert long[name] <= max(short[name], 0) + LEAK_ROUNDS // 10, (short, long)
