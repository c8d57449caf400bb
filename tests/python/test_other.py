"""The Other class: text, the value keyword, the value property and order."""
import pytest

from classes_helpers import Other, Version, check_report

OTHER_ID = "vorna::package::version::other::Other"


@pytest.mark.parametrize("text", ["nightly", "foo_bar", "_x", "é", "Straße", "x1"])
def test_parsed_value(text):
    value = Other(text)
    assert value.value == text
    assert str(value) == text
    assert repr(value) == f'Other {{ value: "{text}" }}'


# Texts past 4 KiB are made into str by the module's own two walks, in each
# of the three widths a str may take, with the first and last character of
# each width (repr writes control characters and noncharacters escaped).
@pytest.mark.parametrize(
    "wide, shown",
    [("", ""), ("é", "é"), ("ж", "ж"), ("😀", "😀"), ("\x80", "\\u{80}"), ("\xff", "\xff"), ("\u0100", "\u0100"),
     ("\uffff", "\\u{ffff}"), ("\U00010000", "\U00010000")],
    ids=["ascii", "latin-1", "bmp", "astral", "U+0080", "U+00FF", "U+0100", "U+FFFF", "U+10000"],
)
def test_long_text_forms(wide, shown):
    text = "x" * 5000 + wide + "y" * 3000
    value = Other(value=text)
    assert str(value) == text
    assert repr(value) == f'Other {{ value: "{text.replace(wide, shown) if wide else text}" }}'
    # The widest character last: the walk must reach the width it measured.
    assert str(Other(value=text[:5000 + len(wide)])) == text[:5000 + len(wide)]


@pytest.mark.parametrize(
    "text, column, sentence",
    [
        ("1.2.x", 1, "found '1' expected identifier"),
        ("foo.bar", 4, "found '.' expected identifier, or end of input"),
        ("", 1, "found end of input expected identifier"),
        ("foo_bar-1", 8, "found '-' expected identifier, or end of input"),
    ],
)
def test_unparsable_text(text, column, sentence):
    with pytest.raises(RuntimeError) as info:
        Other(text)
    check_report(str(info.value), OTHER_ID, text, column, sentence)


@pytest.mark.parametrize("text", ["1.2.x", "", "foo bar", "a\nb", "-", "\0"], ids=repr)
def test_refused_text_is_accepted_by_keyword_and_setter(text):
    assert Other(value=text).value == text
    value = Other(value="x")
    value.value = text
    assert value.value == text
    assert str(value) == text


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({}, ValueError, "invalid input to argument 'value'"),
        ({"parts": ["x"]}, ValueError, "invalid input to argument 'value'"),
        ({"Value": "x"}, ValueError, "invalid input to argument 'value'"),
        ({"value": 1, "foo": 1}, TypeError, None),
        ({"value": "x", "foo": 1}, ValueError, "'foo' is an invalid keyword argument for Other()"),
        ({"value": "x", "value2": 1}, ValueError, "'value2' is an invalid keyword argument for Other()"),
    ],
)
def test_keyword_failures(kwargs, error, message):
    with pytest.raises(error) as info:
        Other(**kwargs)
    assert type(info.value) is error
    if message is not None:
        assert str(info.value) == message
    assert not str(info.value).startswith("argument '")


def test_setting_an_int_keeps_the_text():
    value = Other(value="kept")
    with pytest.raises(TypeError) as info:
        value.value = 5
    assert str(info.value).startswith("argument 'new_value': ")
    assert value.value == "kept"


def test_from_version_of_its_kind_equals_keyword_form():
    assert Other(Version("foo_bar")) == Other(value="foo_bar")


@pytest.mark.parametrize(
    "lower, higher", [("abc", "abd"), ("ab", "abc"), ("Z", "a"), ("", "a"), ("z", "é"), ("a\0", "a\x01")], ids=repr
)
def test_order(lower, higher):
    a, b = Other(value=lower), Other(value=higher)
    assert a < b and b > a and a != b and a <= b and b >= a and not (a == b)
