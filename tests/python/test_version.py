"""The Version class: classification of text, conversion of the other classes,
its own argument checks and the order across kinds."""
import operator

import pytest

from classes_helpers import DotSeparated, Other, SemVer, Version, check_report, sample

VERSION_ID = "vorna::package::version::Version"


@pytest.mark.parametrize(
    "text, debug, printed",
    [
        ("1.2.3-rc.1", 'Version::SemVer { major: 1, minor: 2, patch: 3, rc: Some(["rc", "1"]), meta: None }',
         "1.2.3-rc.1"),
        ("v1.2.3", "Version::SemVer { major: 1, minor: 2, patch: 3, rc: None, meta: None }", "1.2.3"),
        ("1.2.3-rc.1+build.5",
         'Version::SemVer { major: 1, minor: 2, patch: 3, rc: Some(["rc", "1"]), meta: Some(["build", "5"]) }',
         "1.2.3-rc.1+build.5"),
        ("V1.2.3", 'Version::DotSeparated { parts: ["V1", "2", "3"] }', "V1.2.3"),
        ("1.2.3.4", 'Version::DotSeparated { parts: ["1", "2", "3", "4"] }', "1.2.3.4"),
        ("1.2", 'Version::DotSeparated { parts: ["1", "2"] }', "1.2"),
        ("1.2.x", 'Version::DotSeparated { parts: ["1", "2", "x"] }', "1.2.x"),
        ("2024.05", 'Version::DotSeparated { parts: ["2024", "05"] }', "2024.05"),
        ("latest", 'Version::DotSeparated { parts: ["latest"] }', "latest"),
        ("", "Version::DotSeparated { parts: [] }", ""),
        ("foo_bar", 'Version::Other { value: "foo_bar" }', "foo_bar"),
        ("_x", 'Version::Other { value: "_x" }', "_x"),
        ("é", 'Version::Other { value: "é" }', "é"),
    ],
)
def test_text_is_classified(text, debug, printed):
    value = Version(text)
    assert repr(value) == debug
    assert str(value) == printed


@pytest.mark.parametrize(
    "text, column, sentence",
    [
        ("foo_bar-1", 8, "found '-' expected identifier, or end of input"),
        (".", 1, "found '.' expected 'v', integer, dot-separated list, end of input, or identifier"),
        ("1.2.3_x", 6, "found '_' expected digit, '-', '+', end of input, alphanumeric or '-', or '.'"),
        ("1.2.3-beta_1", 11, "found '_' expected alphanumeric or '-', '.', '+', or end of input"),
    ],
)
def test_unparsable_text(text, column, sentence):
    with pytest.raises(RuntimeError) as info:
        Version(text)
    check_report(str(info.value), VERSION_ID, text, column, sentence)


@pytest.mark.parametrize("cls", [SemVer, DotSeparated, Other, Version], ids=lambda c: c.__name__)
def test_instances_of_every_class_are_accepted(cls):
    argument = sample(cls)
    value = Version(argument)
    assert type(value) is Version
    assert str(value) == str(argument)
    inner = repr(argument) if cls is not Version else repr(argument)[len("Version::"):]
    assert repr(value) == "Version::" + inner


def test_copy_of_version_is_deep():
    original = Version(DotSeparated(parts=["a", "b"]))
    duplicate = Version(original)
    assert duplicate is not original
    assert duplicate == original
    assert DotSeparated(duplicate).parts == ["a", "b"]


def test_kind_instance_changed_afterwards_leaves_version():
    dotted = DotSeparated(parts=["1", "2"])
    value = Version(dotted)
    dotted.parts = ["9"]
    assert str(value) == "1.2"
    other = Other(value="nightly")
    value = Version(other)
    other.value = "changed"
    assert str(value) == "nightly"


@pytest.mark.parametrize("kwargs", [{"k": 1}, {"text": "1.2.3"}, {"value": "x", "parts": []}])
@pytest.mark.parametrize("args", [(), ("1.2.3",), ("1", "2")])
def test_keywords_are_refused(args, kwargs):
    with pytest.raises(TypeError) as info:
        Version(*args, **kwargs)
    first = next(iter(kwargs))
    assert str(info.value) == f"Version.__new__() got an unexpected keyword argument '{first}'"


def test_empty_keyword_mapping_is_ignored():
    assert str(Version("1.2.3", **{})) == "1.2.3"
    with pytest.raises(ValueError, match=r"^Version\(\) requires arguments$"):
        Version(**{})


@pytest.mark.parametrize("args", [(), ("1.2.3", "1.2.3"), (1, 2, 3)], ids=repr)
def test_not_exactly_one_argument(args):
    with pytest.raises(ValueError) as info:
        Version(*args)
    assert str(info.value) == "Version() requires arguments"


@pytest.mark.parametrize(
    "argument, type_name",
    [(1, "int"), (b"1.2.3", "bytes"), (["1.2.3"], "list"), (None, "NoneType"), (1.5, "float"), (Version, "type")],
    ids=repr,
)
def test_unsupported_argument(argument, type_name):
    with pytest.raises(TypeError) as info:
        Version(argument)
    assert str(info.value) == f"Cannot construct Version from type '{type_name}'"


def test_version_and_kind_instance_never_compare():
    semver = SemVer(major=1, minor=2, patch=3)
    wrapped = Version(semver)
    assert (wrapped == semver) is False
    assert (semver == wrapped) is False
    assert wrapped != semver
    with pytest.raises(TypeError):
        wrapped < semver
    with pytest.raises(TypeError):
        semver >= wrapped


def _sv(major, minor=0, patch=0, rc=None, meta=None):
    return Version(SemVer(major=major, minor=minor, patch=patch, rc=rc, meta=meta))


def _ds(*parts):
    return Version(DotSeparated(parts=list(parts)))


def _ot(value):
    return Version(Other(value=value))


@pytest.mark.parametrize(
    "lower, higher",
    [
        (_sv(99), _ds("0")),
        (_ds("0"), _ot("a")),
        (_sv(99), _ot("")),
        (_ds(), _ds("")),
        (_sv(1, rc=["alpha"]), _sv(1)),
        (_ds("1", "10"), _ds("1", "9")),
        (_ot("Z"), _ot("a")),
    ],
    ids=repr,
)
def test_order_across_and_within_kinds(lower, higher):
    assert lower < higher and lower <= higher and higher > lower and higher >= lower
    assert lower != higher and not (lower == higher)
    assert not (higher < lower) and not (lower > higher)


def test_same_text_different_kind_is_unequal():
    assert _ds("1") != _ot("1")
    assert _sv(1) == _sv(1, meta=["x"])


def test_sorting_versions():
    values = [_ot("b"), _ds("2"), _sv(2), _sv(1, rc=["rc", "1"]), _ds("10"), _sv(1), _ot("a"), _sv(1, rc=[])]
    ordered = sorted(values)
    assert [repr(v) for v in ordered] == [repr(v) for v in [
        _sv(1, rc=[]), _sv(1, rc=["rc", "1"]), _sv(1), _sv(2), _ds("10"), _ds("2"), _ot("a"), _ot("b")]]


@pytest.mark.parametrize(
    "left, right, expected",
    [
        ("1.0.0-alpha", "1.0.0", "<"),
        ("1.0.0-rc.1", "1.0.0", "<"),
        ("1.0.0-rc.1", "0.9.9", ">"),
        ("1.0.0-alpha", "1.0.0-alpha.1", "<"),
        ("1.0.0-alpha.1", "1.0.0-alpha.beta", "<"),
        ("1.0.0-beta.11", "1.0.0-beta.2", "<"),
        ("1.0.0-rc.10", "1.0.0-rc.9", "<"),
        ("1.0.0-RC.1", "1.0.0-rc.1", "<"),
        ("1.10.0", "1.9.0", ">"),
        ("4294967295.0.0", "4.0.0", ">"),
        ("1.0.0+build.1", "1.0.0+build.2", "="),
        ("1.0.0+build.1", "1.0.0", "="),
        ("1.0.0-alpha+x", "1.0.0-alpha+y", "="),
        ("1.0.0-alpha+x", "1.0.0+x", "<"),
        ("1.0.0-", "1.0.0", "<"),
        ("1.10", "1.9", "<"),
        ("1.2.0", "1.2", "<"),  # a SemVer against a DotSeparated: the kind decides
        ("01", "1", "<"),
        ("2", "10", ">"),
        ("", "0", "<"),
        ("99.0.0", "0", "<"),
        ("0", "_a", "<"),
        ("abc", "abd", "<") ,
    ],
)
def test_order_of_parsed_versions(left, right, expected):
    a, b = Version(left), Version(right)
    results = {op: op(a, b) for op in (operator.lt, operator.le, operator.eq, operator.ne, operator.gt, operator.ge)}
    want = {
        "<": {operator.lt: True, operator.le: True, operator.eq: False, operator.ne: True, operator.gt: False,
              operator.ge: False},
        "=": {operator.lt: False, operator.le: True, operator.eq: True, operator.ne: False, operator.gt: False,
              operator.ge: True},
        ">": {operator.lt: False, operator.le: False, operator.eq: False, operator.ne: True, operator.gt: True,
              operator.ge: True},
    }[expected]
    assert results == want


def _outcome(call):
    try:
        return "ok", repr(call())
    except Exception as error:  # noqa: BLE001 - the outcome is what is compared
        return type(error), str(error)


@pytest.mark.parametrize(
    "args, kwargs",
    [
        (("1.2.3-rc.1",), {}),
        (("1.2.x",), {}),
        (("bad text!",), {}),
        ((), {}),
        (("1", "2"), {}),
        (("1.2.3",), {"k": 1}),
        ((7,), {}),
        (("\ud800",), {}),
    ],
    ids=repr,
)
def test_class_call_and_explicit_new_agree(args, kwargs):
    # Calling the class takes a faster path than Version.__new__; both must
    # give the same value or the same error.
    direct = _outcome(lambda: Version(*args, **kwargs))
    explicit = _outcome(lambda: Version.__new__(Version, *args, **kwargs))
    assert direct == explicit
