"""The SemVer class: text, keyword form, properties and order."""
import operator

import pytest

from classes_helpers import SemVer, Version, check_report, plain

SEMVER_ID = "vorna::package::version::semver::SemVer"


def fields(value):
    return (value.major, value.minor, value.patch, value.rc, value.meta)


@pytest.mark.parametrize(
    "text, expected",
    [
        ("1.2.3", (1, 2, 3, None, None)),
        ("v1.2.3", (1, 2, 3, None, None)),
        ("01.002.0003", (1, 2, 3, None, None)),
        ("4294967295.0.0", (4294967295, 0, 0, None, None)),
        ("1.2.3-", (1, 2, 3, [], None)),
        ("1.2.3+", (1, 2, 3, None, [])),
        ("1.2.3-+", (1, 2, 3, [], [])),
        ("1.2.3--", (1, 2, 3, ["-"], None)),
        ("1.2.3-rc.1+build.5", (1, 2, 3, ["rc", "1"], ["build", "5"])),
        ("1.2.3+b-c", (1, 2, 3, None, ["b-c"])),
    ],
)
def test_parsed_fields(text, expected):
    assert fields(SemVer(text)) == expected


class TextSubclass(str):
    pass


def test_str_subclass_is_parsed():
    assert fields(SemVer(TextSubclass("1.2.3-a"))) == (1, 2, 3, ["a"], None)


@pytest.mark.parametrize(
    "text, column, sentence",
    [
        ("1.2.x", 5, "found 'x' expected integer"),
        ("1.2", 4, "found end of input expected digit, or '.'"),
        ("1.2.3.4", 6, "found '.' expected digit, '-', '+', or end of input"),
        ("", 1, "found end of input expected 'v', or integer"),
        ("x1.2.3", 1, "found 'x' expected 'v', or integer"),
        ("1.2.3-a..b", 9, "found '.' expected alphanumeric or '-'"),
        ("1.2.3-_", 7, "found '_' expected dot-separated list, '+', or end of input"),
        ("V1.2.3", 1, "found 'V' expected 'v', or integer"),
        (" 1.2.3", 1, "found ' ' expected 'v', or integer"),
        ("latest", 1, "found 'l' expected 'v', or integer"),
    ],
)
def test_unparsable_text(text, column, sentence):
    with pytest.raises(RuntimeError) as info:
        SemVer(text)
    check_report(str(info.value), SEMVER_ID, text, column, sentence)


# The label names the character it found: a control character by its
# picture, anything else the debug form escapes by that escape, a printable
# character as itself. The quoted row keeps a one-column stand-in, so the
# underline still points at the column.
@pytest.mark.parametrize(
    "text, row, shown",
    [
        ("1.2.3\n", "1.2.3", "\u240a"),
        ("1.2.3\r", "1.2.3", "\u240d"),
        ("1.2.3\x1b[2J", "1.2.3\u241b[2J", "\u241b"),
        ("1.2.3\x7f", "1.2.3\u2421", "\u2421"),
        ("1.2.3\tx", "1.2.3   x", "\\t"),
        ("1.2.3\u200b", "1.2.3\ufffd", "\\u{200b}"),
        ("1.2.3\ufeff", "1.2.3\ufffd", "\\u{feff}"),
        ("1.2.3\u00ad", "1.2.3\ufffd", "\\u{ad}"),
        ("1.2.3\x85", "1.2.3", "\\u{85}"),
        ("1.2.3\u2028", "1.2.3", "\\u{2028}"),
        ("1.2.3\u00a0x", "1.2.3 x", "\\u{a0}"),
        ("1.2.3\u202e", "1.2.3\ufffd", "\\u{202e}"),
        ("1.2.3\u0301", "1.2.3\u0301", "\\u{301}"),
        ("1.2.3\u00e9", "1.2.3\u00e9", "\u00e9"),
        ("1.2.3\u65e5", "1.2.3\u65e5", "\u65e5"),
        ("1.2.3\U0001f600", "1.2.3\U0001f600", "\U0001f600"),
    ],
)
def test_label_names_the_character_found(text, row, shown):
    with pytest.raises(RuntimeError) as info:
        SemVer(text)
    check_report(str(info.value), SEMVER_ID, row, 6, f"found '{shown}' expected digit, '-', '+', or end of input")
    # The underline starts at the found character's column.
    underline = plain(str(info.value)).split("\n")[4].removeprefix("   │ ")
    assert underline[:5] == " " * 5 and underline[5] in "┬─"


@pytest.mark.parametrize("text", ["4294967296.0.0", "1.99999999999999999999.1"])
def test_number_beyond_32_bits_is_never_stored_wrapped(text):
    # The grammar refuses such a number rather than storing a wrong value.
    with pytest.raises(RuntimeError, match="integer too large"):
        SemVer(text)


def test_trailing_space_is_refused():
    with pytest.raises(RuntimeError):
        SemVer("1.2.3 ")


# --- keyword form --------------------------------------------------------------


@pytest.mark.parametrize(
    "kwargs, expected",
    [
        ({"major": 1, "minor": 2, "patch": 3}, (1, 2, 3, None, None)),
        ({"patch": 3, "minor": 2, "major": 1, "rc": None, "meta": None}, (1, 2, 3, None, None)),
        ({"major": 0, "minor": 0, "patch": 0, "rc": [], "meta": []}, (0, 0, 0, [], [])),
        ({"major": 1, "minor": 0, "patch": 0, "rc": ["", " ", "a.b", "é"]}, (1, 0, 0, ["", " ", "a.b", "é"], None)),
        ({"major": 1, "minor": 0, "patch": 0, "meta": ("x",)}, (1, 0, 0, None, ["x"])),
    ],
)
def test_keyword_form(kwargs, expected):
    assert fields(SemVer(**kwargs)) == expected


@pytest.mark.parametrize(
    "kwargs, missing",
    [
        ({}, "major"),
        ({"minor": 1, "patch": 1}, "major"),
        ({"major": 1, "patch": 3}, "minor"),
        ({"major": 1, "minor": 2}, "patch"),
        ({"major": 1, "minor": 2, "foo": 1}, "patch"),
        ({"foo": 1}, "major"),
        ({"rc": "not even a list"}, "major"),
    ],
)
def test_missing_required_keyword(kwargs, missing):
    with pytest.raises(TypeError) as info:
        SemVer(**kwargs)
    assert str(info.value) == f"Missing required keyword argument '{missing}'"


@pytest.mark.parametrize(
    "kwargs, error",
    [
        # Conversion runs in the order major, minor, patch, rc, meta and
        # before the check for unknown keys.
        ({"major": "1", "minor": 2, "patch": 3, "foo": 1}, TypeError),
        ({"major": 1, "minor": -1, "foo": 1}, OverflowError),
        ({"major": 1, "minor": 2, "patch": 2**32, "foo": 1}, OverflowError),
        ({"major": 1, "minor": 2, "patch": 3, "rc": "a", "foo": 1}, TypeError),
        ({"major": 1, "minor": 2, "patch": 3, "meta": {"a"}, "foo": 1}, TypeError),
        ({"major": 1, "minor": 2, "patch": 3, "foo": 1}, ValueError),
    ],
)
def test_keyword_conversion_order(kwargs, error):
    with pytest.raises(error) as info:
        SemVer(**kwargs)
    assert type(info.value) is error
    assert not str(info.value).startswith("argument '")


def test_major_as_str_differs_between_keyword_and_setter():
    with pytest.raises(TypeError) as by_keyword:
        SemVer(major="1", minor=0, patch=0)
    value = SemVer(major=1, minor=0, patch=0)
    with pytest.raises(TypeError) as by_setter:
        value.major = "1"
    assert str(by_setter.value) == "argument 'new_major': " + str(by_keyword.value)


# --- properties ----------------------------------------------------------------


def test_number_bounds_through_the_setter():
    value = SemVer(major=0, minor=0, patch=0)
    value.major = 4294967295
    assert value.major == 4294967295
    with pytest.raises(OverflowError) as info:
        value.major = 4294967296
    assert str(info.value) == "out of range integral type conversion attempted"
    with pytest.raises(OverflowError):
        value.major = -1
    assert value.major == 4294967295
    value.major = True
    assert value.major == 1 and type(value.major) is int


def test_rc_absent_and_empty():
    value = SemVer(major=1, minor=2, patch=3)
    value.rc = []
    assert value.rc == [] and str(value) == "1.2.3-"
    value.rc = None
    assert value.rc is None and str(value) == "1.2.3"
    value.meta = []
    assert str(value) == "1.2.3+"
    value.rc = ("a", "b")
    assert value.rc == ["a", "b"] and str(value) == "1.2.3-a.b+"


def test_rc_as_a_single_str_is_refused():
    value = SemVer(major=1, minor=2, patch=3, rc=["x"])
    with pytest.raises(TypeError, match="^argument 'new_rc': "):
        value.rc = "abc"
    assert value.rc == ["x"]


def test_reading_rc_twice_gives_two_lists():
    value = SemVer(major=1, minor=2, patch=3, rc=["a"])
    first, second = value.rc, value.rc
    assert first is not second
    first.append("b")
    assert value.rc == ["a"]


def test_setting_one_field_leaves_the_others():
    value = SemVer("1.2.3-rc.1+b.5")
    value.minor = 7
    value.meta = ["m"]
    assert fields(value) == (1, 7, 3, ["rc", "1"], ["m"])
    assert str(value) == "1.7.3-rc.1+m"


# --- order ---------------------------------------------------------------------


def test_meta_takes_no_part_in_equality_or_order():
    a = SemVer(major=1, minor=0, patch=0, meta=["a"])
    b = SemVer(major=1, minor=0, patch=0, meta=["b"])
    assert a == b and not (a != b) and not (a < b) and not (b < a) and a <= b and a >= b
    assert str(a) != str(b)


@pytest.mark.parametrize(
    "lower, higher",
    [
        ({"rc": []}, {}),
        ({"rc": []}, {"rc": [""]}),
        ({"rc": [""]}, {}),
        ({"rc": ["a"]}, {"rc": ["a", ""]}),
        ({"rc": ["B"]}, {"rc": ["a"]}),
        ({"rc": ["z"]}, {"rc": ["é"]}),
        ({"patch": 4294967294}, {"patch": 4294967295}),
        ({"major": 0, "minor": 4294967295}, {"major": 1, "minor": 0}),
    ],
    ids=repr,
)
def test_order_by_fields(lower, higher):
    base = {"major": 1, "minor": 0, "patch": 0}
    a, b = SemVer(**{**base, **lower}), SemVer(**{**base, **higher})
    assert a < b and b > a and a <= b and b >= a and a != b and not a == b


def test_sorting_semvers():
    texts = ["1.0.0", "1.0.0-rc.1", "1.0.0-alpha", "0.9.9", "1.0.0-alpha.1", "1.0.0-beta.11", "1.0.0-beta.2",
             "2.0.0", "1.10.0", "1.9.0"]
    ordered = sorted(SemVer(t) for t in texts)
    assert [str(v) for v in ordered] == ["0.9.9", "1.0.0-alpha", "1.0.0-alpha.1", "1.0.0-beta.11", "1.0.0-beta.2",
                                         "1.0.0-rc.1", "1.0.0", "1.9.0", "1.10.0", "2.0.0"]


def test_semver_from_version_of_its_kind():
    original = SemVer(major=3, minor=2, patch=1, rc=["x"], meta=["y"])
    copied = SemVer(Version(original))
    assert fields(copied) == (3, 2, 1, ["x"], ["y"])
    assert SemVer(Version("1.2.3-a+b")).meta == ["b"]


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
def test_ordering_against_version_raises(op):
    with pytest.raises(TypeError):
        op(SemVer(major=1, minor=2, patch=3), Version(SemVer(major=1, minor=2, patch=3)))
