"""The rules the Python-surface harness checks against: the classes and their
properties, the expected outcomes of calls, the plain-Python shadow of an
instance and its text form, and the byte reader a program is decoded with."""
import re
import sys

import vorna

_classes = vorna.package.version
Version = _classes.Version
SemVer = _classes.SemVer
DotSeparated = _classes.DotSeparated
Other = _classes.Other
KINDS = (SemVer, DotSeparated, Other)
# From CPython 3.15, cls.__new__(cls, *args, **{}) hands the class's __new__
# no keyword mapping at all, so the call takes the positional form; calling
# the class itself with **{} still passes an empty mapping.
EMPTY_SPREAD_THROUGH_NEW_DROPPED = sys.version_info >= (3, 15)
CLASSES = (Version,) + KINDS

SOURCE_IDS = {
    Version: "vorna::package::version::Version",
    SemVer: "vorna::package::version::semver::SemVer",
    DotSeparated: "vorna::package::version::dot_separated::DotSeparated",
    Other: "vorna::package::version::other::Other",
}

# Property name -> (setter parameter, conversion) for each class.
PROPERTIES = {
    Version: {},
    SemVer: {
        "major": ("new_major", "u32"),
        "minor": ("new_minor", "u32"),
        "patch": ("new_patch", "u32"),
        "rc": ("new_rc", "optional_parts"),
        "meta": ("new_meta", "optional_parts"),
    },
    DotSeparated: {"parts": ("new_parts", "parts")},
    Other: {"value": ("new_value", "text")},
}
ATTRIBUTES = ("major", "minor", "patch", "rc", "meta", "parts", "value", "kind")

_ANSI = re.compile(r"\x1b\[[0-9;]*m")


# ---------------------------------------------------------------------------
# Reading the program


class ByteSource:
    """The little of a fuzzed data provider a program needs, over plain bytes.
    Past the end every read gives zero."""

    def __init__(self, data):
        self.data = bytes(data)
        self.pos = 0

    def done(self):
        return self.pos >= len(self.data)

    def byte(self):
        if self.pos >= len(self.data):
            return 0
        self.pos += 1
        return self.data[self.pos - 1]

    def pick(self, choices):
        return choices[self.byte() % len(choices)]


# ---------------------------------------------------------------------------
# Expected outcomes


class Ok:
    """Success; `value` is the converted value (None when unpredictable)."""

    def __init__(self, value=None, known=True):
        self.value = value
        self.known = known

    def __repr__(self):
        return f"Ok({self.value!r})"


class Err:
    """An exception of exactly `type`; `message` when the rules fix it,
    `prefix` when they fix its start."""

    def __init__(self, type, message=None, prefix=None):
        self.type = type
        self.message = message
        self.prefix = prefix

    def prefixed(self, parameter):
        # Setters prefix a TypeError of the conversion with the parameter name.
        if self.type is not TypeError:
            return self
        return Err(TypeError, prefix=f"argument '{parameter}': " + (self.message or ""))

    def __repr__(self):
        return f"Err({self.type.__name__}, {self.message or self.prefix!r})"


ANY_OK = Ok(known=False)
OUT_OF_RANGE = Err(OverflowError, "out of range integral type conversion attempted")


class Boom(Exception):
    """Raised by the hostile objects of the pool."""


def check(ok, what):
    if not ok:
        raise AssertionError(what)


def expect_copy(cls, source, shadow):
    """(outcome, expected shadow or None) of cls(source), an instance whose
    shadow is known."""
    src_cls = type(source)
    if cls is Version:
        return Ok(), ("Version", shadow[1] if src_cls is Version else shadow)
    if src_cls is cls:
        return Ok(), shadow
    if src_cls is Version and shadow[1][0] == cls.__name__:
        return Ok(), shadow[1]
    if src_cls is Version:
        return Err(TypeError, f"Expected {cls.__name__}; found {source!r}"), None
    return Err(TypeError, f"Cannot construct {cls.__name__} from type '{src_cls.__name__}'"), None


def check_outcome(expected, result, error, what):
    if isinstance(expected, Err):
        check(error is not None, f"{what}: returned {result!r}, expected {expected!r}")
        check(type(error) is expected.type, f"{what}: raised {type(error).__name__}: {error}, expected {expected!r}")
        if expected.message is not None:
            check(str(error) == expected.message, f"{what}: message {str(error)!r}, expected {expected.message!r}")
        if expected.prefix is not None:
            check(str(error).startswith(expected.prefix), f"{what}: message {str(error)!r}, expected {expected!r}")
    else:
        check(error is None, f"{what}: raised {type(error).__name__}: {error}, expected success")


def check_parse_error(error, cls, what):
    """A rejected text raises RuntimeError carrying the parse report."""
    check(type(error) is RuntimeError, f"{what}: raised {type(error).__name__}: {error}")
    lines = _ANSI.sub("", str(error)).split("\n")
    check(len(lines) >= 7 and lines[0] == "Error: ", f"{what}: not a report: {str(error)!r}")
    check(f"╭─[ {SOURCE_IDS[cls]}:" in lines[1], f"{what}: report names another type: {lines[1]!r}")


# ---------------------------------------------------------------------------
# Shadow values: what each instance must hold, in plain Python. Texts are
# bytes (their UTF-8), so they order as the classes order texts.


def text_form(shadow):
    kind = shadow[0]
    if kind == "Version":
        return text_form(shadow[1])
    if kind == "SemVer":
        _, major, minor, patch, rc, meta = shadow
        out = b"%d.%d.%d" % (major, minor, patch)
        if rc is not None:
            out += b"-" + b".".join(rc)
        if meta is not None:
            out += b"+" + b".".join(meta)
        return out
    if kind == "DotSeparated":
        return b".".join(shadow[1])
    return shadow[1]


def order_key(shadow):
    """Sorting key of the classes' order; `meta` takes no part."""
    kind = shadow[0]
    if kind == "Version":
        inner = shadow[1]
        return (("SemVer", "DotSeparated", "Other").index(inner[0]), order_key(inner))
    if kind == "SemVer":
        _, major, minor, patch, rc, _meta = shadow
        # An absent pre-release ranks above every present one, the empty included.
        return (major, minor, patch, rc is None, rc or ())
    return (shadow[1],)


def as_bytes(text):
    return text.encode("utf-8")


def observe(obj):
    """The shadow of an instance, read through its properties. A Version's
    kind is found by handing it to the three kind constructors: exactly one
    accepts it, the others refuse with its debug form."""
    cls = type(obj)
    if cls is SemVer:
        rc, meta = obj.rc, obj.meta
        return (
            "SemVer",
            obj.major,
            obj.minor,
            obj.patch,
            None if rc is None else tuple(map(as_bytes, rc)),
            None if meta is None else tuple(map(as_bytes, meta)),
        )
    if cls is DotSeparated:
        return ("DotSeparated", tuple(map(as_bytes, obj.parts)))
    if cls is Other:
        return ("Other", as_bytes(obj.value))
    inner = []
    debug = repr(obj)
    for kind in KINDS:
        try:
            inner.append(kind(obj))
        except TypeError as e:
            check(str(e) == f"Expected {kind.__name__}; found {debug}", f"kind refusal: {e}")
    check(len(inner) == 1, f"a Version is of {len(inner)} kinds: {debug}")
    check(debug == "Version::" + repr(inner[0]), f"Version debug form {debug!r}")
    return ("Version", observe(inner[0]))
