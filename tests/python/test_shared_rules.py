"""Rules common to Version, SemVer, DotSeparated and Other: class objects,
the constructor skeleton, copies, text forms and comparison (properties and
the conversions of arguments are in test_properties.py)."""
import copy
import ctypes
import gc
import operator
import pickle
import sys

import pytest

from classes_helpers import ALL_CLASSES, KIND_CLASSES, DotSeparated, Other, SemVer, Version, sample, version

import vorna


# --- class objects -----------------------------------------------------------

DOCS = {
    "Version": ("(*args)", "Python wrapper around a [`Version`]"),
    "SemVer": ("(*args, **kwargs)", "Python wrapper type for [`SemVer`]"),
    "DotSeparated": ("(*args, **kwargs)", "Python wrapper around [`DotSeparated`]"),
    "Other": ("(*args, **kwargs)", "Python wrapper around the [`Other`] version type"),
}


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_class_identity(cls):
    name = cls.__name__
    assert getattr(version, name) is cls
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == name
    signature, doc = DOCS[name]
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == doc
    assert repr(cls) == f"<class 'builtins.{name}'>"


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_instances_are_unhashable(cls):
    value = sample(cls)
    assert cls.__hash__ is None
    with pytest.raises(TypeError, match=f"unhashable type: 'builtins.{cls.__name__}'"):
        hash(value)
    with pytest.raises(TypeError):
        {value}
    with pytest.raises(TypeError):
        {value: 1}


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_classes_are_not_subclassable(cls):
    with pytest.raises(TypeError, match=f"type 'builtins.{cls.__name__}' is not an acceptable base type"):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_default_flags_only(cls):
    heap_type, base_type, have_gc = 1 << 9, 1 << 10, 1 << 14
    assert cls.__flags__ & heap_type
    assert not cls.__flags__ & (base_type | have_gc)
    assert not gc.is_tracked(sample(cls))


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_instances_keep_their_class_alive(cls):
    before = sys.getrefcount(cls)
    values = [sample(cls) for _ in range(50)]
    assert sys.getrefcount(cls) >= before + 50
    del values
    assert sys.getrefcount(cls) == before


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_no_instance_dict_or_foreign_attributes(cls):
    value = sample(cls)
    with pytest.raises(AttributeError):
        value.anything = 1
    assert not hasattr(value, "__dict__")


def test_version_has_no_properties():
    assert [n for n, v in vars(Version).items() if type(v).__name__ == "getset_descriptor"] == []


@pytest.mark.parametrize(
    "cls, names",
    [(SemVer, ["major", "minor", "patch", "rc", "meta"]), (DotSeparated, ["parts"]), (Other, ["value"])],
    ids=lambda x: getattr(x, "__name__", None),
)
def test_property_tables(cls, names):
    assert [n for n, v in vars(cls).items() if type(v).__name__ == "getset_descriptor"] == names


# --- constructor skeleton of the kind classes --------------------------------


@pytest.mark.parametrize("cls", KIND_CLASSES, ids=lambda c: c.__name__)
def test_no_argument(cls):
    with pytest.raises(ValueError) as info:
        cls()
    assert str(info.value) == f"{cls.__name__}() requires arguments"


@pytest.mark.parametrize("cls", KIND_CLASSES, ids=lambda c: c.__name__)
@pytest.mark.parametrize("args", [("1.2.3", "1.2.3"), (1, 2, 3), ("a", None)])
def test_two_or_more_positional_arguments_raise(cls, args):
    with pytest.raises(NotImplementedError, match="not yet implemented"):
        cls(*args)


@pytest.mark.parametrize("cls", KIND_CLASSES, ids=lambda c: c.__name__)
@pytest.mark.parametrize("kwargs", [{}, {"major": 1}, {"parts": ["1"]}, {"value": "x"}, {"foo": 1}])
def test_positional_and_keyword_together(cls, kwargs):
    # An empty spread mapping still selects the keyword form.
    with pytest.raises(TypeError) as info:
        cls("1.2.3", **kwargs)
    assert str(info.value) == "Constructor expects *args or **kwargs, but not both"


@pytest.mark.parametrize("cls", KIND_CLASSES, ids=lambda c: c.__name__)
def test_empty_spread_through_explicit_new_follows_the_interpreter(cls):
    # From 3.15 the interpreter hands __new__ no mapping for an empty spread
    # through cls.__new__, so the positional form runs; before, the empty
    # mapping selects the keyword form as for a call of the class.
    text = str(sample(cls))
    if sys.version_info >= (3, 15):
        assert cls.__new__(cls, text, **{}) == cls(text)
    else:
        with pytest.raises(TypeError, match=r"^Constructor expects \*args or \*\*kwargs, but not both$"):
            cls.__new__(cls, text, **{})


@pytest.mark.parametrize(
    "cls, kwargs, key",
    [
        (SemVer, {"major": 1, "minor": 2, "patch": 3, "foo": 1}, "foo"),
        (SemVer, {"major": 1, "minor": 2, "patch": 3, "rc": None, "parts": [], "x": 1}, "parts"),
        (SemVer, {"Major": 1, "major": 1, "minor": 2, "patch": 3}, "Major"),
        (DotSeparated, {"parts": [], "value": "x"}, "value"),
        (DotSeparated, {"bar": 1, "parts": ["1"]}, "bar"),
        (Other, {"value": "x", "parts": []}, "parts"),
        (Other, {"value": "x", "é": 1}, "é"),
    ],
)
def test_invalid_keyword(cls, kwargs, key):
    with pytest.raises(ValueError) as info:
        cls(**kwargs)
    assert str(info.value) == f"'{key}' is an invalid keyword argument for {cls.__name__}()"


class HashOne(str):
    __hash__ = lambda self: 1


class NeverEqual(str):
    __eq__ = lambda self, other: False
    __hash__ = str.__hash__


# A keyword is its text, whatever hash or equality a str subclass gives it.
@pytest.mark.parametrize("key_class", [HashOne, NeverEqual])
@pytest.mark.parametrize(
    "cls, kwargs, name, value, attribute, expected",
    [
        (SemVer, {"minor": 2, "patch": 3}, "major", 7, "major", 7),
        (SemVer, {"major": 1, "minor": 2, "patch": 3}, "rc", ["x"], "rc", ["x"]),
        (DotSeparated, {}, "parts", ["a"], "parts", ["a"]),
        (Other, {}, "value", "v", "value", "v"),
    ],
)
def test_str_subclass_keywords_are_matched_by_text(key_class, cls, kwargs, name, value, attribute, expected):
    assert getattr(cls(**kwargs, **{key_class(name): value}), attribute) == expected
    with pytest.raises(TypeError) as info:
        cls(**kwargs, **{name: value, key_class(name): value})
    assert str(info.value) == f"{cls.__name__}() got multiple values for argument '{name}'"


@pytest.mark.parametrize("cls", KIND_CLASSES, ids=lambda c: c.__name__)
@pytest.mark.parametrize(
    "argument, type_name",
    [(1, "int"), (1.5, "float"), (None, "NoneType"), (b"1.2.3", "bytes"), (["1", "2"], "list"), (("1",), "tuple"),
     ({"value": "x"}, "dict"), (object(), "object")],
    ids=repr,
)
def test_unsupported_argument_type(cls, argument, type_name):
    with pytest.raises(TypeError) as info:
        cls(argument)
    assert str(info.value) == f"Cannot construct {cls.__name__} from type '{type_name}'"


@pytest.mark.parametrize(
    "cls, foreign",
    [(SemVer, DotSeparated), (SemVer, Other), (DotSeparated, SemVer), (DotSeparated, Other), (Other, SemVer),
     (Other, DotSeparated)],
    ids=lambda c: c.__name__,
)
def test_instance_of_another_kind_class(cls, foreign):
    with pytest.raises(TypeError) as info:
        cls(sample(foreign))
    assert str(info.value) == f"Cannot construct {cls.__name__} from type '{foreign.__name__}'"


@pytest.mark.parametrize(
    "cls, held, debug",
    [
        (SemVer, DotSeparated(parts=["1", "2"]), 'Version::DotSeparated { parts: ["1", "2"] }'),
        (SemVer, Other(value="x"), 'Version::Other { value: "x" }'),
        (DotSeparated, SemVer(major=1, minor=2, patch=3),
         "Version::SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }"),
        (DotSeparated, Other(value="x"), 'Version::Other { value: "x" }'),
        (Other, SemVer(major=0, minor=0, patch=0, rc=[]),
         "Version::SemVer { major: 0, minor: 0, patch: 0, rc: Some([]), meta: None }"),
        (Other, DotSeparated(parts=[]), "Version::DotSeparated { parts: [] }"),
    ],
    ids=lambda x: getattr(x, "__name__", None),
)
def test_version_of_another_kind(cls, held, debug):
    with pytest.raises(TypeError) as info:
        cls(Version(held))
    assert str(info.value) == f"Expected {cls.__name__}; found {debug}"


@pytest.mark.parametrize("cls", KIND_CLASSES, ids=lambda c: c.__name__)
def test_version_of_own_kind_is_unwrapped(cls):
    original = sample(cls)
    copied = cls(Version(original))
    assert type(copied) is cls
    assert copied == original
    assert repr(copied) == repr(original)


@pytest.mark.needs_test_hooks
@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_memory_running_out_in_a_report_is_memory_error(cls):
    # A report that cannot be written is no report with other text in it.
    ctypes.PyDLL(vorna.__file__).vorna_test_fail_next_report(1)  # std::bad_alloc
    with pytest.raises(MemoryError):
        cls("1.2.x!")
    with pytest.raises(RuntimeError, match="^Error: \n"):
        cls("1.2.x!")


# --- copies ------------------------------------------------------------------

MUTATIONS = {
    SemVer: [("major", 9), ("rc", ["x"]), ("rc", None), ("meta", ["m"])],
    DotSeparated: [("parts", ["9"]), ("parts", [])],
    Other: [("value", "changed")],
}


@pytest.mark.parametrize(
    "cls, attribute, new_value",
    [(cls, a, v) for cls, rows in MUTATIONS.items() for a, v in rows],
    ids=lambda x: getattr(x, "__name__", repr(x)),
)
def test_copy_is_independent(cls, attribute, new_value):
    original = sample(cls)
    before = repr(original)
    duplicate = cls(original)
    assert duplicate is not original
    assert repr(duplicate) == before
    setattr(duplicate, attribute, new_value)
    assert getattr(duplicate, attribute) == new_value
    assert repr(original) == before
    second = cls(original)
    setattr(original, attribute, new_value)
    assert repr(second) == before


def test_keyword_lists_are_copied_in():
    parts = ["1", "2"]
    dotted = DotSeparated(parts=parts)
    semver = SemVer(major=1, minor=0, patch=0, rc=parts, meta=parts)
    parts.append("3")
    parts[0] = "x"
    assert dotted.parts == ["1", "2"]
    assert semver.rc == ["1", "2"] and semver.meta == ["1", "2"]
    dotted.parts = parts
    parts.clear()
    assert dotted.parts == ["x", "2", "3"]


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, pickle.dumps], ids=lambda f: f.__name__)
def test_copy_module_and_pickle_are_not_supported(cls, duplicate):
    # A copy is made by passing the instance to its class.
    with pytest.raises(TypeError, match=f"cannot pickle 'builtins.{cls.__name__}' object"):
        duplicate(sample(cls))


def test_version_copy_of_kind_instance_is_independent():
    semver = sample(SemVer)
    wrapped = Version(semver)
    assert str(wrapped) == str(semver)
    semver.major = 7
    semver.rc = None
    assert str(wrapped) == "1.2.3-rc.1+b"


# --- text forms: worked examples ---------------------------------------------

FORMS = [
    (SemVer(major=1, minor=2, patch=3), "1.2.3", "SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }"),
    (SemVer(major=1, minor=0, patch=0, rc=["alpha", "1"], meta=["build", "5"]), "1.0.0-alpha.1+build.5",
     'SemVer { major: 1, minor: 0, patch: 0, rc: Some(["alpha", "1"]), meta: Some(["build", "5"]) }'),
    (SemVer(major=0, minor=0, patch=0, meta=["sha"]), "0.0.0+sha",
     'SemVer { major: 0, minor: 0, patch: 0, rc: None, meta: Some(["sha"]) }'),
    (SemVer(major=4294967295, minor=0, patch=7, rc=[]), "4294967295.0.7-",
     "SemVer { major: 4294967295, minor: 0, patch: 7, rc: Some([]), meta: None }"),
    (SemVer(major=1, minor=2, patch=3, rc=[], meta=[]), "1.2.3-+",
     "SemVer { major: 1, minor: 2, patch: 3, rc: Some([]), meta: Some([]) }"),
    (SemVer(major=1, minor=2, patch=3, rc=["a.b"]), "1.2.3-a.b",
     'SemVer { major: 1, minor: 2, patch: 3, rc: Some(["a.b"]), meta: None }'),
    (DotSeparated(parts=["1", "10", "b"]), "1.10.b", 'DotSeparated { parts: ["1", "10", "b"] }'),
    (DotSeparated(parts=[]), "", "DotSeparated { parts: [] }"),
    (DotSeparated(parts=[""]), "", 'DotSeparated { parts: [""] }'),
    (DotSeparated(parts=["05"]), "05", 'DotSeparated { parts: ["05"] }'),
    (Other(value="nightly"), "nightly", 'Other { value: "nightly" }'),
    (Other(value='"x"'), '"x"', 'Other { value: "\\"x\\"" }'),
    (Other(value="a\tb\nc\\d\re'"), "a\tb\nc\\d\re'", 'Other { value: "a\\tb\\nc\\\\d\\re\'" }'),
    (Other(value="a\0b"), "a\0b", 'Other { value: "a\\0b" }'),
    (Other(value="é\u0301\x07"), "é\u0301\x07", 'Other { value: "é\\u{301}\\u{7}" }'),
    (Version(SemVer(major=1, minor=2, patch=3)), "1.2.3",
     "Version::SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }"),
    (Version(DotSeparated(parts=["2024", "05"])), "2024.05", 'Version::DotSeparated { parts: ["2024", "05"] }'),
    (Version(Other(value="nightly")), "nightly", 'Version::Other { value: "nightly" }'),
]


@pytest.mark.parametrize("value, text, debug", FORMS, ids=lambda x: x if isinstance(x, str) else None)
def test_text_and_debug_forms(value, text, debug):
    assert str(value) == text
    assert repr(value) == debug
    assert f"{value}" == text


# --- comparison --------------------------------------------------------------

OPERATORS = [operator.eq, operator.ne, operator.lt, operator.le, operator.gt, operator.ge]
ORDERING = [operator.lt, operator.le, operator.gt, operator.ge]


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
@pytest.mark.parametrize("foreign", ["1.2.3", 1, None, [1], object()], ids=repr)
def test_comparison_with_foreign_objects(cls, foreign):
    value = sample(cls)
    assert (value == foreign) is False
    assert (value != foreign) is True
    assert (foreign == value) is False
    for op in ORDERING:
        with pytest.raises(TypeError, match="not supported between instances of"):
            op(value, foreign)


@pytest.mark.parametrize(
    "left, right",
    [
        (Version(sample(SemVer)), sample(SemVer)),
        (Version(sample(DotSeparated)), sample(DotSeparated)),
        (Version(sample(Other)), sample(Other)),
        (sample(SemVer), sample(DotSeparated)),
        (sample(DotSeparated), sample(Other)),
        (DotSeparated(parts=["x"]), Other(value="x")),
    ],
    ids=lambda x: type(x).__name__,
)
def test_comparison_across_classes(left, right):
    for a, b in ((left, right), (right, left)):
        assert (a == b) is False
        assert (a != b) is True
        for op in ORDERING:
            with pytest.raises(TypeError) as info:
                op(a, b)
            assert f"'builtins.{type(a).__name__}' and 'builtins.{type(b).__name__}'" in str(info.value)


def test_comparisons_return_bools():
    a, b = SemVer(major=1, minor=0, patch=0), SemVer(major=2, minor=0, patch=0)
    for op in OPERATORS:
        assert type(op(a, b)) is bool


def test_rich_compare_reports_not_implemented_directly():
    value = sample(SemVer)
    assert value.__eq__("x") is NotImplemented
    assert value.__lt__(sample(Other)) is NotImplemented
    assert value.__eq__(sample(SemVer)) is True
    assert SemVer.__lt__(value, sample(SemVer)) is False
