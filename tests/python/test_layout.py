"""Values whose lists live in the tail of their instance, long texts and
non-ASCII text forms: what the compact storage and the direct str paths must
keep exactly as before."""
import pytest

from classes_helpers import DotSeparated, Other, SemVer, Version, check_report

# Short texts keep their lists inside the instance, long ones in a block of
# their own; both must behave the same.
TEXTS = [
    "1.2.3-rc.1+build.5",
    "1.2.3-" + ".".join(["rc"] * 200) + "+" + "b" * 300,
    "2024.05.x",
    ".".join(["p"] * 300),
    "nightly_é",
    "n" * 500,
]


KINDS = {"SemVer": SemVer, "DotSeparated": DotSeparated, "Other": Other}


@pytest.mark.parametrize("text", TEXTS)
def test_parsed_values_round_trip_and_copies_outlive_the_original(text):
    original = Version(text)
    debug = repr(original)
    inner = debug[len("Version::"):]
    kind = KINDS[inner.split(" ", 1)[0]]
    copies = [Version(original), kind(original), kind(text)]
    assert str(original) == text
    del original
    assert [str(c) for c in copies] == [text] * 3
    assert [repr(c) for c in copies] == [debug, inner, inner]


@pytest.mark.parametrize("text", [TEXTS[0], TEXTS[1]])
def test_setters_replace_lists_held_in_the_instance(text):
    v = SemVer(text)
    meta = v.meta
    v.rc = ["x", ""]
    assert (v.rc, v.meta) == (["x", ""], meta)
    v.meta = None
    v.rc = []
    assert str(v) == "1.2.3-"
    assert repr(v) == "SemVer { major: 1, minor: 2, patch: 3, rc: Some([]), meta: None }"
    d = DotSeparated("a.b.c")
    d.parts = ["z"] * 100
    assert str(d) == ".".join(["z"] * 100)
    o = Other("short")
    o.value = ""
    assert (o.value, str(o)) == ("", "")


@pytest.mark.parametrize("text, width", [("é" * 50, 1), ("漢" * 50, 2), ("\U0001f600" * 50, 4)])
def test_non_ascii_forms_keep_every_character(text, width):
    dotted = DotSeparated(parts=[text, "a"])
    assert str(dotted) == text + ".a"
    assert repr(dotted) == f'DotSeparated {{ parts: ["{text}", "a"] }}'
    long_text = text * 100  # long enough for the str to be built by the module itself
    assert repr(Other(value=long_text)) == f'Other {{ value: "{long_text}" }}'
    with pytest.raises(RuntimeError) as failure:
        SemVer(long_text)
    message = str(failure.value)
    assert long_text in message
    assert max(map(ord, message)) >= (0x80 if width == 1 else 0x100 if width == 2 else 0x10000)


@pytest.mark.parametrize("cls, prefix", [(SemVer, "1.2.3-"), (Version, ""), (Other, "")])
def test_long_text_failing_at_its_end_reports_the_last_character(cls, prefix):
    text = prefix + "a" * 100_000 + "!"
    with pytest.raises(RuntimeError) as failure:
        cls(text)
    source_id = {SemVer: "vorna::package::version::semver::SemVer", Version: "vorna::package::version::Version",
                 Other: "vorna::package::version::other::Other"}[cls]
    expected = {SemVer: "found '!' expected alphanumeric or '-', '.', '+', or end of input",
                Version: "found '!' expected alphanumeric or '-', '.', end of input, or identifier",
                Other: "found '!' expected identifier, or end of input"}[cls]
    check_report(str(failure.value), source_id, text, len(text), expected)
