"""The DotSeparated class: text, the parts keyword, the parts property and order."""
import pytest

from classes_helpers import DotSeparated, Version, check_report

DOT_SEPARATED_ID = "vorna::package::version::dot_separated::DotSeparated"


@pytest.mark.parametrize(
    "text, parts",
    [
        ("2024.05", ["2024", "05"]),
        ("1.2.x", ["1", "2", "x"]),
        ("1.2.3", ["1", "2", "3"]),
        ("", []),
        ("latest", ["latest"]),
        ("a-b.-.C", ["a-b", "-", "C"]),
    ],
)
def test_parsed_parts(text, parts):
    value = DotSeparated(text)
    assert value.parts == parts
    assert str(value) == text


@pytest.mark.parametrize(
    "text, column, sentence",
    [
        ("_x", 1, "found '_' expected dot-separated list, or end of input"),
        ("1.2.", 5, "found end of input expected alphanumeric or '-'"),
        ("1.2_3", 4, "found '_' expected alphanumeric or '-', '.', or end of input"),
        ("a..b", 3, "found '.' expected alphanumeric or '-'"),
        ("a.", 3, "found end of input expected alphanumeric or '-'"),
    ],
)
def test_unparsable_text(text, column, sentence):
    with pytest.raises(RuntimeError) as info:
        DotSeparated(text)
    check_report(str(info.value), DOT_SEPARATED_ID, text, column, sentence)


def test_non_ascii_letter_is_refused():
    with pytest.raises(RuntimeError):
        DotSeparated("é")


@pytest.mark.parametrize("argument", [["1", "2"], ("1", "2")], ids=repr)
def test_sequences_only_through_the_keyword(argument):
    with pytest.raises(TypeError) as info:
        DotSeparated(argument)
    assert str(info.value).endswith(f"from type '{type(argument).__name__}'")
    assert DotSeparated(parts=argument).parts == ["1", "2"]


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({}, ValueError, "invalid input to argument 'parts'"),
        ({"foo": ["1"]}, ValueError, "invalid input to argument 'parts'"),
        ({"value": "x", "rc": []}, ValueError, "invalid input to argument 'parts'"),
        ({"parts": "1.2", "foo": 1}, TypeError, None),
        ({"parts": [1], "foo": 1}, TypeError, None),
        ({"parts": [], "foo": 1}, ValueError, "'foo' is an invalid keyword argument for DotSeparated()"),
    ],
)
def test_keyword_failures(kwargs, error, message):
    with pytest.raises(error) as info:
        DotSeparated(**kwargs)
    assert type(info.value) is error
    if message is not None:
        assert str(info.value) == message
    assert not str(info.value).startswith("argument '")


def test_parts_are_stored_unvalidated():
    value = DotSeparated(parts=["a.b", "c"])
    assert str(value) == "a.b.c"
    assert DotSeparated(str(value)).parts == ["a", "b", "c"]
    assert value.parts == ["a.b", "c"]


def test_failed_setter_leaves_instance_and_new_list_replaces_all():
    value = DotSeparated(parts=["1", "2", "3"])
    with pytest.raises(TypeError, match="^argument 'new_parts': "):
        value.parts = ["4", 5]
    assert value.parts == ["1", "2", "3"]
    value.parts = ("9",)
    assert value.parts == ["9"]
    returned = value.parts
    returned.append("x")
    assert value.parts == ["9"]


def test_from_version_of_its_kind_equals():
    assert DotSeparated(Version("1.2")) == DotSeparated(parts=["1", "2"])


@pytest.mark.parametrize(
    "lower, higher",
    [(["1", "10"], ["1", "9"]), (["1", "2"], ["1", "2", "0"]), (["01"], ["1"]), (["10"], ["2"]), ([], [""]),
     ([], ["0"]), (["A"], ["a"])],
    ids=repr,
)
def test_order(lower, higher):
    a, b = DotSeparated(parts=lower), DotSeparated(parts=higher)
    assert a < b and b > a and a != b and not (a == b) and a <= b and b >= a


def test_parsed_order():
    assert DotSeparated("1.2") < DotSeparated("1.2.0")
    assert DotSeparated("1.10") < DotSeparated("1.9")
    assert DotSeparated("") < DotSeparated("0")


def test_equal_parts_compare_equal():
    assert DotSeparated(parts=["1", "2"]) == DotSeparated(parts=("1", "2"))
    assert not (DotSeparated(parts=[]) != DotSeparated(parts=[]))
