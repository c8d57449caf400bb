"""The properties of the classes and how they convert Python arguments:
unsigned 32-bit numbers, texts and lists of parts, by keyword and by setter."""
import pytest

from classes_helpers import DotSeparated, Index, Other, SemVer, sample

# --- properties --------------------------------------------------------------

PROPERTIES = [
    (SemVer, "major", "new_major"), (SemVer, "minor", "new_minor"), (SemVer, "patch", "new_patch"),
    (SemVer, "rc", "new_rc"), (SemVer, "meta", "new_meta"), (DotSeparated, "parts", "new_parts"),
    (Other, "value", "new_value"),
]


@pytest.mark.parametrize("cls, attribute, parameter", PROPERTIES, ids=lambda x: getattr(x, "__name__", x))
def test_deleting_a_property(cls, attribute, parameter):
    value = sample(cls)
    before = repr(value)
    with pytest.raises(AttributeError) as info:
        delattr(value, attribute)
    assert str(info.value) == "can't delete attribute"
    assert repr(value) == before


@pytest.mark.parametrize("cls, attribute, parameter", PROPERTIES, ids=lambda x: getattr(x, "__name__", x))
def test_setter_type_error_names_the_parameter(cls, attribute, parameter):
    value = sample(cls)
    before = repr(value)
    with pytest.raises(TypeError) as info:
        setattr(value, attribute, object())
    assert str(info.value).startswith(f"argument '{parameter}': ")
    assert len(str(info.value)) > len(f"argument '{parameter}': ")
    assert repr(value) == before


class IndexTypeErrorWithCause:
    def __index__(self):
        raise TypeError("refused index") from KeyError("root cause")


class PartsTypeErrorWithCause:
    def __getitem__(self, i):
        raise IndexError

    def __iter__(self):
        raise TypeError("refused iteration") from KeyError("root cause")


@pytest.mark.parametrize(
    "cls, attribute, parameter, bad, message",
    [
        (SemVer, "major", "new_major", IndexTypeErrorWithCause(), "refused index"),
        (SemVer, "rc", "new_rc", PartsTypeErrorWithCause(), "refused iteration"),
        (DotSeparated, "parts", "new_parts", PartsTypeErrorWithCause(), "refused iteration"),
    ],
    ids=lambda x: x if isinstance(x, str) else None,
)
def test_setter_rewrap_keeps_the_first_errors_cause(cls, attribute, parameter, bad, message):
    value = sample(cls)
    with pytest.raises(TypeError) as info:
        setattr(value, attribute, bad)
    assert str(info.value) == f"argument '{parameter}': {message}"
    assert isinstance(info.value.__cause__, KeyError)
    assert info.value.__cause__.args == ("root cause",)


def test_setter_rewrap_without_cause_has_none():
    value = sample(SemVer)
    with pytest.raises(TypeError) as info:
        value.major = "3"
    assert info.value.__cause__ is None
    assert str(info.value).startswith("argument 'new_major': ")


@pytest.mark.parametrize("cls, attribute, parameter", PROPERTIES, ids=lambda x: getattr(x, "__name__", x))
def test_getter_returns_fresh_objects(cls, attribute, parameter):
    value = sample(cls)
    first = getattr(value, attribute)
    second = getattr(value, attribute)
    assert first == second
    if isinstance(first, list):
        assert first is not second
        first.append("extra")
        assert getattr(value, attribute) == second


# --- conversion: unsigned 32-bit ---------------------------------------------

OUT_OF_RANGE = "out of range integral type conversion attempted"


class IntSubclass(int):
    pass


U32_ACCEPTED = [
    (0, 0), (1, 1), (4294967295, 4294967295), (True, 1), (False, 0), (Index(7), 7), (Index(4294967295), 4294967295),
    (IntSubclass(12), 12),
]
U32_REFUSED = [
    (4294967296, OverflowError, OUT_OF_RANGE),
    (2**64 - 1, OverflowError, OUT_OF_RANGE),
    (Index(4294967296), OverflowError, OUT_OF_RANGE),
    (-1, OverflowError, None),
    (Index(-1), OverflowError, None),
    (2**64, OverflowError, None),
    (-(2**70), OverflowError, None),
    (1.0, TypeError, None),
    ("1", TypeError, None),
    (None, TypeError, None),
    (b"1", TypeError, None),
    (Index("1"), TypeError, None),
]


@pytest.mark.parametrize("number, stored", U32_ACCEPTED, ids=repr)
@pytest.mark.parametrize("field", ["major", "minor", "patch"])
def test_u32_accepted(field, number, stored):
    by_keyword = SemVer(**{"major": 0, "minor": 0, "patch": 0, field: number})
    assert getattr(by_keyword, field) == stored
    assert type(getattr(by_keyword, field)) is int
    by_setter = SemVer(major=5, minor=5, patch=5)
    setattr(by_setter, field, number)
    assert getattr(by_setter, field) == stored


@pytest.mark.parametrize("number, error, message", U32_REFUSED, ids=repr)
@pytest.mark.parametrize("field", ["major", "minor", "patch"])
def test_u32_refused_by_keyword_unchanged(field, number, error, message):
    with pytest.raises(error) as info:
        SemVer(**{"major": 0, "minor": 0, "patch": 0, field: number})
    assert type(info.value) is error
    if message is not None:
        assert str(info.value) == message
    else:
        assert str(info.value) != OUT_OF_RANGE
    assert not str(info.value).startswith("argument '")


@pytest.mark.parametrize("number, error, message", U32_REFUSED, ids=repr)
@pytest.mark.parametrize("field", ["major", "minor", "patch"])
def test_u32_refused_by_setter(field, number, error, message):
    value = SemVer(major=5, minor=5, patch=5)
    with pytest.raises(error) as info:
        setattr(value, field, number)
    assert type(info.value) is error
    if error is TypeError:
        assert str(info.value).startswith(f"argument 'new_{field}': ")
    elif message is not None:
        assert str(info.value) == message
    else:
        assert str(info.value) != OUT_OF_RANGE and not str(info.value).startswith("argument '")
    assert getattr(value, field) == 5


# --- conversion: texts and lists of parts -------------------------------------


class StrSubclass(str):
    pass


class OldStyleSequence:
    """A sequence through __getitem__ alone."""

    def __getitem__(self, i):
        if i < 3:
            return "abc"[i]
        raise IndexError(i)


def gen():
    yield "1"


PARTS_ACCEPTED = [
    (["1", "2"], ["1", "2"]),
    (("1", "2"), ["1", "2"]),
    ([], []),
    ((), []),
    ([""], [""]),
    (["a.b", " ", "-", "é", "\0"], ["a.b", " ", "-", "é", "\0"]),
    ([StrSubclass("x")], ["x"]),
    (OldStyleSequence(), ["a", "b", "c"]),
    (range(0), []),
]

PARTS_REFUSED = [
    "1.2",
    StrSubclass("1.2"),
    "",
    {"1", "2"},
    frozenset(["1"]),
    {"1": "2"},
    gen(),
    iter(["1"]),
    1,
    [1],
    ["1", 2],
    ["1", None],
    [b"1"],
    b"12",
    bytearray(b"1"),
    range(2),
]


@pytest.mark.parametrize("given, stored", PARTS_ACCEPTED, ids=repr)
def test_parts_accepted(given, stored):
    by_keyword = DotSeparated(parts=given)
    assert by_keyword.parts == stored
    assert all(type(p) is str for p in by_keyword.parts)
    semver = SemVer(major=1, minor=0, patch=0, rc=given, meta=given)
    assert semver.rc == stored and semver.meta == stored
    semver.rc = given
    assert semver.rc == stored
    by_setter = DotSeparated(parts=["old"])
    by_setter.parts = given
    assert by_setter.parts == stored


@pytest.mark.parametrize("given", PARTS_REFUSED, ids=repr)
def test_parts_refused(given):
    with pytest.raises(TypeError) as info:
        DotSeparated(parts=given)
    assert not str(info.value).startswith("argument '")
    with pytest.raises(TypeError):
        SemVer(major=1, minor=0, patch=0, rc=given)
    with pytest.raises(TypeError):
        SemVer(major=1, minor=0, patch=0, meta=given)


@pytest.mark.parametrize("given", PARTS_REFUSED, ids=repr)
@pytest.mark.parametrize("cls, attribute", [(DotSeparated, "parts"), (SemVer, "rc"), (SemVer, "meta")])
def test_parts_refused_by_setter_leaves_instance(cls, attribute, given):
    value = sample(cls)
    before = repr(value)
    with pytest.raises(TypeError) as info:
        setattr(value, attribute, given)
    assert str(info.value).startswith(f"argument 'new_{attribute}': ")
    assert repr(value) == before


def test_none_is_refused_for_parts_but_clears_rc_and_meta():
    with pytest.raises(TypeError):
        DotSeparated(parts=None)
    dotted = sample(DotSeparated)
    with pytest.raises(TypeError, match="^argument 'new_parts': "):
        dotted.parts = None
    assert dotted.parts == ["1", "2"]
    semver = sample(SemVer)
    semver.rc = None
    semver.meta = None
    assert semver.rc is None and semver.meta is None
    assert str(semver) == "1.2.3"


@pytest.mark.parametrize("given", ["", "nightly", "1.2.x", " x ", "a\0b", "\t\n", "é", StrSubclass("sub")], ids=repr)
def test_text_accepted(given):
    value = Other(value=given)
    assert value.value == given
    assert type(value.value) is str
    value.value = given + "!"
    assert value.value == given + "!"


@pytest.mark.parametrize("given", [1, None, b"x", ["x"], object()], ids=repr)
def test_text_refused(given):
    with pytest.raises(TypeError) as info:
        Other(value=given)
    assert not str(info.value).startswith("argument '")
    value = Other(value="kept")
    with pytest.raises(TypeError) as info:
        value.value = given
    assert str(info.value).startswith("argument 'new_value': ")
    assert value.value == "kept"
