"""Fuzzing the Python surface of vorna.

The fuzzer's bytes are read as a short program of operations on a few live
instances: constructors of the four classes (text, instances, keywords, odd
arities), property reads, writes and deletes, the six comparisons, str, repr,
hash and test_function. Arguments come from a pool that includes hostile
objects whose protocol methods raise, or run code that touches the same
instances (as does a garbage-collector callback, with collections forced at
almost every allocation).

Every operation is checked, not only survived:
- an exception must be the one the classes' rules give for that operation,
  with the exact message where the rules fix it; success where they require
  an exception is a fault too;
- each instance has a shadow value, kept in plain Python; reads, str() and
  the comparisons must agree with it, and a successful write reads back;
- str() of a value parsed from text parses back to an equal value;
- the comparisons agree with one another (a < b exactly when b > a, and ==
  exactly when both <= and >=);
- no borrow conflict is ever reported, since only one thread runs;
- the reference counts of the pool objects are the same after each program.

`run(data)` runs one program and raises AssertionError on a broken rule. It
needs only the bytes, so the committed seeds replay without the fuzzer.
"""
import gc
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


# ---------------------------------------------------------------------------
# The pool. Each entry gives the object and how it converts as a version
# number, as a text, and as a list of parts; `meddles` objects run the
# program's meddling (touching the live instances) from their protocol
# methods; refcounts are checked for `tracked` ones.


class PoolEntry:
    def __init__(self, obj, u32, text, parts, tracked=True):
        self.obj = obj
        self.u32 = u32
        self.text = text
        self.parts = parts
        self.tracked = tracked

    def optional_parts(self):
        return Ok(None) if self.obj is None else self.parts


_current = None  # the running program, for the meddling objects


def meddle():
    if _current is not None:
        _current.meddle()


def churn():
    """Cyclic garbage, so that collections find work and finalizers run."""
    a = []
    a.append(a)
    b = Finalized()
    b.self = b


class Finalized:
    def __del__(self):
        meddle()


class StrSub(str):
    pass


class IntSub(int):
    def __index__(self):
        raise Boom("an int is converted directly")


class MeddlingKey(str):
    """A keyword name whose comparisons run code."""

    __hash__ = str.__hash__

    def __eq__(self, other):
        meddle()
        return str.__eq__(self, other)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        meddle()
        churn()
        return self.value


class RaisingIndex:
    def __index__(self):
        meddle()
        raise Boom("index")


class IndexReturningStr:
    def __index__(self):
        return "7"


class Parts:
    """A sequence that is not a list: walked by iteration, its length only a
    hint. Any of its protocol methods may meddle, raise or lie."""

    def __init__(self, items, raise_in=None, length=None):
        self.items = items
        self.raise_in = raise_in
        self.length = length

    def __len__(self):
        meddle()
        if self.raise_in == "len":
            raise Boom("len")
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        meddle()
        if self.raise_in == "iter":
            raise Boom("iter")
        return iter(self.items)


class OldParts:
    """A sequence by __getitem__ alone, iterated until IndexError."""

    def __init__(self, items, raise_at=None):
        self.items = items
        self.raise_at = raise_at

    def __getitem__(self, i):
        meddle()
        churn()
        if i == self.raise_at:
            raise Boom("getitem")
        return self.items[i]


class ListSub(list):
    def __iter__(self):
        meddle()
        return iter(["it", "erated"])


class RaisingStr:
    def __str__(self):
        raise Boom("str")


class NameRaising(type):
    @property
    def __name__(cls):
        raise Boom("name")


class Nameless(metaclass=NameRaising):
    pass


class OddName(type):
    @property
    def __name__(cls):
        return 42


class OddlyNamed(metaclass=OddName):
    pass


def _built(*pieces):
    # Built at run time, so the str is not shared with code constants and
    # its reference count is the pool's own.
    return "".join(pieces)


def _text_entry(text, parsed=None):
    try:
        encoded = Ok(as_bytes(text))
    except UnicodeEncodeError:
        encoded = Err(UnicodeEncodeError)
    return PoolEntry(text, Err(TypeError), encoded, Err(TypeError))


def _list_entry(obj, items):
    return PoolEntry(obj, Err(TypeError), Err(TypeError), items)


def _number_entry(obj, value):
    if isinstance(value, Err):
        u32 = value
    elif value < 0 or value >= 2**64:
        u32 = Err(OverflowError)
    elif value >= 2**32:
        u32 = OUT_OF_RANGE
    else:
        u32 = Ok(value)
    return PoolEntry(obj, u32, Err(TypeError), Err(TypeError))


def _items(*texts):
    return Ok(tuple(as_bytes(t) for t in texts))


def make_pool():
    return [
        _text_entry(_built("1.2.3-rc.1", "+b.5")),
        _text_entry(_built("2024", ".05")),
        _text_entry(_built("night", "ly")),
        _text_entry(_built("v1.2", ".3")),
        _text_entry(_built("1.0.0-", "+")),
        _text_entry(_built("4294967296", ".0.0")),
        _text_entry(_built("a\x00", "b")),
        _text_entry(_built("x\n", "\ty")),
        _text_entry(_built("é\u0301", "\u4e00")),
        _text_entry(_built("bad", "\udc80")),
        _text_entry(StrSub("1.0.0-alpha")),
        _text_entry(StrSub("x.y")),
        PoolEntry(None, Err(TypeError), Err(TypeError), Err(TypeError), tracked=False),
        PoolEntry(7, Ok(7), Err(TypeError), Err(TypeError), tracked=False),  # a cached small int
        _number_entry(int("4294967295"), 4294967295),
        _number_entry(int("4294967296"), 4294967296),
        _number_entry(int("18446744073709551615"), 18446744073709551615),
        _number_entry(int("18446744073709551616"), 18446744073709551616),
        PoolEntry(-1, Err(OverflowError), Err(TypeError), Err(TypeError), tracked=False),  # a cached small int
        PoolEntry(True, Ok(1), Err(TypeError), Err(TypeError), tracked=False),
        _number_entry(IntSub(5), 5),
        _number_entry(Index(3), 3),
        _number_entry(Index(2**40), 2**40),
        _number_entry(Index(-5), -5),
        _number_entry(RaisingIndex(), Err(Boom, "index")),
        _number_entry(IndexReturningStr(), Err(TypeError)),
        _number_entry(float("1.5"), Err(TypeError)),
        _list_entry(["rc", "1"], _items("rc", "1")),
        _list_entry([], _items()),
        _list_entry(("a.b", "", "\x00", "\"\\"), _items("a.b", "", "\x00", "\"\\")),
        _list_entry(["x", 1], Err(TypeError)),
        _list_entry(["ok", "\udc80"], Err(UnicodeEncodeError)),
        _list_entry(Parts(["0", "1"], raise_in="len"), _items("0", "1")),
        _list_entry(Parts(["only"], length=2**62), _items("only")),
        _list_entry(Parts(["a", "b"]), _items("a", "b")),
        _list_entry(Parts(["a"], raise_in="iter"), Err(Boom, "iter")),
        _list_entry(OldParts(["a", "b", "c"], raise_at=1), Err(Boom, "getitem")),
        _list_entry(OldParts(["x", "y"]), _items("x", "y")),
        _list_entry(ListSub(["x"]), _items("it", "erated")),
        _list_entry(b"1.2", Err(TypeError)),
        _list_entry({"a": "b"}, Err(TypeError)),
        _list_entry({"a"}, Err(TypeError)),
        _list_entry(RaisingStr(), Err(TypeError)),
        _list_entry(Nameless(), Err(TypeError)),
        _list_entry(OddlyNamed(), Err(TypeError)),
    ]


POOL = make_pool()

# Keyword names: the accepted ones of every class (one of them a str
# subclass that runs code when compared) and some no class accepts.
KEYWORDS = (
    "major",
    "minor",
    "patch",
    "rc",
    "meta",
    "parts",
    "value",
    MeddlingKey("major"),
    "version",
    "Major",
    "",
    "\udc80",
    "x y",
)
REQUIRED = {
    SemVer: (("major", "u32"), ("minor", "u32"), ("patch", "u32")),
    DotSeparated: (("parts", "parts"),),
    Other: (("value", "text"),),
}
MISSING = {
    "major": Err(TypeError, "Missing required keyword argument 'major'"),
    "minor": Err(TypeError, "Missing required keyword argument 'minor'"),
    "patch": Err(TypeError, "Missing required keyword argument 'patch'"),
    "parts": Err(ValueError, "invalid input to argument 'parts'"),
    "value": Err(ValueError, "invalid input to argument 'value'"),
}
ACCEPTED = {
    Version: (),
    SemVer: ("major", "minor", "patch", "rc", "meta"),
    DotSeparated: ("parts",),
    Other: ("value",),
}


def conversion(entry, how):
    if how == "optional_parts":
        return entry.optional_parts()
    return getattr(entry, how)


def type_name_outcome(obj):
    """str() of type(obj).__name__, or the error reading it raises."""
    try:
        return Ok(str(type(obj).__name__))
    except Exception as e:  # noqa: BLE001 - the hostile metaclass raises Boom
        return Err(type(e), str(e))


# ---------------------------------------------------------------------------
# Programs


class Slot:
    def __init__(self, obj, parsed=False):
        self.obj = obj
        self.shadow = observe(obj)
        self.parsed = parsed  # built from text and unchanged since


class Program:
    OPS = 14

    def __init__(self, data):
        self.source = ByteSource(data)
        self.slots = [
            Slot(SemVer("1.2.3-rc.1+build"), True),
            Slot(DotSeparated("1.2"), True),
            Slot(Other("nightly"), True),
            Slot(Version("1.0.0"), True),
        ]
        setting = self.source.byte()
        self.threshold = (1, 3, 10, 700)[setting % 4]
        # Whether each call is primed so that its `landing`-th allocation of
        # a collected object starts a collection (and with it the meddling).
        # The list free list is emptied first, so that the lists the getters
        # build come from the collector's allocator, not from the free list.
        self.primed = bool(setting & 4)
        self.landing = 1 + (setting >> 3) % 3
        # Meddling actions: run from the collector callback and from the
        # protocol methods of hostile objects, in turn.
        self.meddling = [tuple(self.source.byte() for _ in range(4)) for _ in range(self.source.byte() % 4)]
        self.next_meddle = 0
        self.meddled = 0
        self.armed = False
        self.meddling_now = False
        self.deferred = None

    # -- running the extension ------------------------------------------------

    def call(self, fn, *args, spread=None):
        """(result, error, whether meddling ran meanwhile). Keywords are
        spread only when given, since an empty spread is a call of its own."""
        before = self.meddled
        held = self.prime() if self.primed and not self.meddling_now else None  # noqa: F841 - kept alive
        # Armed only across the call itself: whatever the harness allocates
        # afterwards could start a collection that changes an instance
        # behind the result just returned.
        self.armed = True
        try:
            result = fn(*args) if spread is None else fn(*args, **spread)
            error = None
        except Exception as e:  # noqa: BLE001 - every exception is checked by the caller
            result = None
            error = e
        finally:
            self.armed = False
        if error is not None:
            error.__traceback__ = None
        return result, error, self.meddled != before

    def prime(self):
        gc.disable()
        held = [[] for _ in range(100)]
        gc.collect(0)
        gc.enable()
        # A collection starts when the count of new objects exceeds the
        # threshold; each new list here counts one.
        for _ in range(max(0, self.threshold + 1 - self.landing)):
            held.append([])
        return held

    def on_gc(self, phase, info):
        if phase == "start":
            self.meddle()

    def meddle(self):
        if not self.armed or self.meddling_now or not self.meddling:
            return
        action = self.meddling[self.next_meddle % len(self.meddling)]
        self.next_meddle += 1
        self.meddling_now = True
        self.meddled += 1
        try:
            self.meddle_with(*action)
        except AssertionError as e:
            if self.deferred is None:
                self.deferred = e
        except Exception as e:  # noqa: BLE001 - must not escape into the collector
            if self.deferred is None:
                self.deferred = AssertionError(f"meddling raised {type(e).__name__}: {e}")
        finally:
            self.meddling_now = False
            self.armed = True

    def meddle_with(self, what, slot_index, attr_index, value_index):
        slot = self.slots[slot_index % len(self.slots)]
        names = list(PROPERTIES[type(slot.obj)])
        if what % 4 == 0 and names:
            self.read(slot, names[attr_index % len(names)], inner=True)
        elif what % 4 == 1 and names:
            entry = POOL[value_index % len(POOL)]
            if not isinstance(entry.obj, (Index, RaisingIndex, Parts, OldParts, ListSub)):
                self.write(slot, names[attr_index % len(names)], entry, inner=True)
        elif what % 4 == 2:
            self.text_forms(slot, inner=True)
        else:
            self.compare(slot, self.slots[attr_index % len(self.slots)].obj)

    # -- operations ------------------------------------------------------------

    def slot(self):
        return self.slots[self.source.byte() % len(self.slots)]

    def store(self, obj, parsed):
        self.slots[self.source.byte() % len(self.slots)] = Slot(obj, parsed)

    def construct_text(self):
        cls = self.source.pick(CLASSES)
        entry = self.source.pick([e for e in POOL if isinstance(e.obj, str)])
        via_new = self.source.byte() & 1
        fn = (lambda t: cls.__new__(cls, t)) if via_new else cls
        obj, error, _ = self.call(fn, entry.obj)
        what = f"{cls.__name__}({entry.obj!r})"
        if isinstance(entry.text, Err):
            check_outcome(entry.text, obj, error, what)
        elif error is not None:
            check_parse_error(error, cls, what)
        else:
            check(type(obj) is cls, f"{what} made a {type(obj).__name__}")
            self.store(obj, True)

    def construct_copy(self):
        cls = self.source.pick(CLASSES)
        source = self.slot()
        src_cls = type(source.obj)
        what = f"{cls.__name__}({source.obj!r})"
        outcome, expected = expect_copy(cls, source.obj, source.shadow)
        obj, error, meddled = self.call(cls, source.obj)
        check_outcome(outcome, obj, error, what)
        if error is None:
            check(obj is not source.obj, f"{what} is not a new object")
            check(meddled or observe(obj) == expected, f"{what} copied {observe(obj)!r}, expected {expected!r}")
            # The Version grammar may classify a kind's text otherwise.
            self.store(obj, source.parsed and (cls is not Version or src_cls is Version))

    def construct_pool(self):
        cls = self.source.pick(CLASSES)
        entry = self.source.pick([e for e in POOL if not isinstance(e.obj, str)])
        name = type_name_outcome(entry.obj)
        if isinstance(name, Err):
            outcome = name
        else:
            outcome = Err(TypeError, f"Cannot construct {cls.__name__} from type '{name.value}'")
        obj, error, _ = self.call(cls, entry.obj)
        check_outcome(outcome, obj, error, f"{cls.__name__}({entry.obj!r})")

    def construct_keywords(self):
        cls = self.source.pick(CLASSES)
        flags = self.source.byte()
        kwargs = {}
        for _ in range(flags % 5):
            kwargs[self.source.pick(KEYWORDS)] = self.source.pick(POOL)
        positional = (self.source.pick(self.slots).obj,) if flags & 0x10 else ()
        via_new = flags & 0x20
        values = {k: e.obj for k, e in kwargs.items()}
        what = f"{cls.__name__}(*{positional!r}, **{values!r})"
        if via_new and not kwargs and EMPTY_SPREAD_THROUGH_NEW_DROPPED:
            outcome, expected = self.expect_positional(cls, positional)
        else:
            outcome, expected = self.expect_keywords(cls, positional, kwargs)
        fn = (lambda *a, **k: cls.__new__(cls, *a, **k)) if via_new else cls
        obj, error, meddled = self.call(fn, *positional, spread=values)
        check_outcome(outcome, obj, error, what)
        if error is None:
            # A copied instance may have been written by meddling meanwhile.
            shadow = observe(obj)
            check(expected is None or (meddled and positional) or shadow == expected,
                  f"{what} holds {shadow!r}, expected {expected!r}")
            self.store(obj, cls is Version and isinstance(positional[0], str))

    def expect_keywords(self, cls, positional, kwargs):
        """(outcome, expected shadow or None) of a call with keywords."""
        if cls is Version:
            if kwargs:
                first = next(iter(kwargs))
                return Err(TypeError, f"Version.__new__() got an unexpected keyword argument '{first}'"), None
            if len(positional) != 1:
                return Err(ValueError, "Version() requires arguments"), None
            shadow = self.slot_shadow(positional[0])
            return Ok(), ("Version", shadow[1] if shadow[0] == "Version" else shadow)
        if positional:
            return Err(TypeError, "Constructor expects *args or **kwargs, but not both"), None
        # A dict compares keys by value, so a str subclass key stands for its text.
        by_name = {str(k): e for k, e in kwargs.items()}
        fields = []
        known = True
        for name, how in REQUIRED[cls]:
            if name not in by_name:
                return MISSING[name], None
            result = conversion(by_name[name], how)
            if isinstance(result, Err):
                return result, None
            known = known and result.known
            fields.append(result.value)
        if cls is SemVer:
            for name in ("rc", "meta"):
                result = by_name[name].optional_parts() if name in by_name else Ok(None)
                if isinstance(result, Err):
                    return result, None
                known = known and result.known
                fields.append(result.value)
        for key in kwargs:
            if str(key) not in ACCEPTED[cls]:
                return Err(ValueError, f"'{key}' is an invalid keyword argument for {cls.__name__}()"), None
        return Ok(), ((cls.__name__, *fields) if known else None)

    def expect_positional(self, cls, positional):
        """(outcome, expected shadow or None) of a call without keywords."""
        if not positional:
            return Err(ValueError, f"{cls.__name__}() requires arguments"), None
        return expect_copy(cls, positional[0], self.slot_shadow(positional[0]))

    def slot_shadow(self, obj):
        for slot in self.slots:
            if slot is not None and slot.obj is obj:
                return slot.shadow
        raise AssertionError("not a live instance")

    def construct_arity(self):
        cls = self.source.pick(CLASSES)
        args = tuple(self.source.pick(POOL).obj for _ in range(self.source.pick((0, 2, 3))))
        obj, error, _ = self.call(cls, *args)
        what = f"{cls.__name__}{args!r}"
        if cls is Version or not args:
            check_outcome(Err(ValueError, f"{cls.__name__}() requires arguments"), obj, error, what)
        else:
            # Not supported for the kind classes: any exception but an internal one.
            check(error is not None and not isinstance(error, (SystemError, MemoryError)), f"{what}: {error!r}")

    def read(self, slot, name, inner=False):
        props = PROPERTIES[type(slot.obj)]
        value, error, meddled = self.call(getattr, slot.obj, name)
        what = f"{slot.obj!r}.{name}"
        if name not in props:
            check(type(error) is AttributeError, f"{what}: {error!r}")
            return
        check_outcome(Ok(), value, error, what)
        if meddled:
            return
        field = ("major", "minor", "patch", "rc", "meta").index(name) + 1 if type(slot.obj) is SemVer else 1
        expected = slot.shadow[field]
        got = value if isinstance(value, int) else None if value is None else (
            as_bytes(value) if isinstance(value, str) else tuple(map(as_bytes, value))
        )
        check(type(value) in (int, str, list, type(None)) and got == expected, f"{what} is {value!r}, expected {expected!r}")
        if isinstance(value, list):
            value.append("x")
            again = getattr(slot.obj, name)
            check(again is not value and list(map(as_bytes, again)) == list(expected), f"{what}: list shared")

    def write(self, slot, name, entry, inner=False):
        props = PROPERTIES[type(slot.obj)]
        what = f"{slot.obj!r}.{name} = {entry.obj!r}"
        _, error, meddled = self.call(setattr, slot.obj, name, entry.obj)
        if name not in props:
            check(type(error) is AttributeError, f"{what}: {error!r}")
            return
        parameter, how = props[name]
        outcome = conversion(entry, how)
        if isinstance(outcome, Err):
            outcome = outcome.prefixed(parameter)
        check_outcome(outcome, None, error, what)
        if error is not None:
            return
        field = ("major", "minor", "patch", "rc", "meta").index(name) + 1 if type(slot.obj) is SemVer else 1
        shadow = list(slot.shadow)
        if outcome.known:
            shadow[field] = outcome.value
        else:
            shadow = list(observe(slot.obj))
        slot.shadow = tuple(shadow)
        slot.parsed = False
        if not inner:
            self.read(slot, name)

    def delete(self, slot, name):
        _, error, _ = self.call(delattr, slot.obj, name)
        what = f"del {slot.obj!r}.{name}"
        if name in PROPERTIES[type(slot.obj)]:
            check_outcome(Err(AttributeError, "can't delete attribute"), None, error, what)
        else:
            check(type(error) is AttributeError, f"{what}: {error!r}")
        check(observe(slot.obj) == slot.shadow, f"{what} changed the value")

    def compare(self, slot, other):
        a = slot.obj
        before = self.meddled
        results = {op: self.call(_COMPARE[op], a, other) for op in ("<", "<=", "==", "!=", ">", ">=")}
        what = f"{a!r} against {other!r}"
        if type(other) is type(a):
            b_shadow = self.slot_shadow(other)
            for op, (result, error, meddled) in results.items():
                check(error is None and type(result) is bool, f"{what} {op}: {result!r} {error!r}")
            if self.meddled != before:
                return  # a value may have changed between two of the six
            lt, le, eq = results["<"][0], results["<="][0], results["=="][0]
            ne, gt, ge = results["!="][0], results[">"][0], results[">="][0]
            check(eq == (le and ge) and ne == (not eq) and lt == (le and not eq) and gt == (ge and not eq),
                  f"{what}: comparisons disagree {results!r}")
            ka, kb = order_key(slot.shadow), order_key(b_shadow)
            check((lt, eq, gt) == (ka < kb, ka == kb, ka > kb), f"{what}: order differs from {slot.shadow!r} {b_shadow!r}")
            reverse = self.call(_COMPARE["<"], other, a)[0], self.call(_COMPARE[">"], other, a)[0]
            check(reverse == (gt, lt), f"{what}: swapped comparison differs")
        else:
            for op, (result, error, _) in results.items():
                if op in ("==", "!="):
                    check(error is None and result is (op == "!="), f"{what} {op}: {result!r} {error!r}")
                else:
                    check(type(error) is TypeError, f"{what} {op}: {result!r} {error!r}")

    def text_forms(self, slot, inner=False):
        before = self.meddled
        text, error, meddled = self.call(str, slot.obj)
        check(error is None and type(text) is str, f"str({slot.shadow!r}): {error!r}")
        if not meddled:
            check(as_bytes(text) == text_form(slot.shadow), f"str() is {text!r} for {slot.shadow!r}")
        debug, error, _ = self.call(repr, slot.obj)
        check(error is None and type(debug) is str, f"repr({slot.shadow!r}): {error!r}")
        kind = slot.shadow[1][0] if slot.shadow[0] == "Version" else slot.shadow[0]
        prefix = ("Version::" if slot.shadow[0] == "Version" else "") + kind + " { "
        check(debug.startswith(prefix) and debug.endswith(" }"), f"repr() is {debug!r}")
        if inner:
            return
        cls = type(slot.obj)
        again, error, _ = self.call(cls, text)
        if slot.parsed:
            check(error is None, f"str() of a parsed value does not parse back: {text!r}: {error!r}")
        if error is not None:
            check_parse_error(error, cls, f"{cls.__name__}({text!r})")
            return
        # Text of a kind reparses to the same text; the Version grammar may
        # classify it as another kind (an Other "v1.2.3" reads as a SemVer).
        if cls is not Version or observe(again)[1][0] == slot.shadow[1][0]:
            check(str(again) == text, f"str() is not a fixed point: {text!r} -> {str(again)!r}")
        if slot.parsed and self.meddled == before:
            check(again == slot.obj, f"{text!r} parses to another value")

    def test_function(self):
        flags = self.source.byte()
        args = tuple(self.source.pick(self.slots).obj if flags & (4 << i) else self.source.pick(POOL).obj
                     for i in range(flags % 3))
        kwargs = {}
        for _ in range((flags >> 4) % 3):
            kwargs[self.source.pick(("version", "ver", "\udc80"))] = self.source.pick(self.slots).obj
        result, error, _ = self.call(vorna.test_function, *args, spread=kwargs)
        check_outcome(self.expect_test_function(args, kwargs), result, error, f"test_function(*{args!r}, **{kwargs!r})")
        if error is None:
            check(result is None, "test_function returned a value")

    @staticmethod
    def expect_test_function(args, kwargs):
        if len(args) > 1:
            return Err(TypeError, f"test_function() takes 1 positional arguments but {len(args)} were given")
        value = args[0] if args else None
        for key, given in kwargs.items():
            if key != "version":
                return Err(TypeError, f"test_function() got an unexpected keyword argument '{key}'")
            if args:
                return Err(TypeError, "test_function() got multiple values for argument 'version'")
            value = given
        if not args and not kwargs:
            return Err(TypeError, "test_function() missing 1 required positional argument: 'version'")
        if isinstance(value, Version):
            return Ok()
        try:
            name = type(value).__qualname__
            name = name if isinstance(name, str) else "<failed to extract type name>"
        except Exception:  # noqa: BLE001
            name = "<failed to extract type name>"
        return Err(TypeError, f"argument 'version': '{name}' object cannot be converted to 'Version'")

    def step(self):
        op = self.source.byte() % self.OPS
        if op == 0:
            self.construct_text()
        elif op == 1:
            self.construct_copy()
        elif op == 2:
            self.construct_pool()
        elif op == 3:
            self.construct_keywords()
        elif op == 4:
            self.construct_arity()
        elif op == 5:
            self.read(self.slot(), self.source.pick(ATTRIBUTES))
        elif op in (6, 7):
            self.write(self.slot(), self.source.pick(ATTRIBUTES), self.source.pick(POOL))
        elif op == 8:
            self.delete(self.slot(), self.source.pick(ATTRIBUTES))
        elif op == 9:
            self.compare(self.slot(), self.pick_other())
        elif op == 10:
            self.text_forms(self.slot())
        elif op == 11:
            self.test_function()
        elif op == 12:
            _, error, _ = self.call(hash, self.slot().obj)
            check(type(error) is TypeError, f"hash() gave {error!r}")
        else:
            # Drop an instance (its deallocation runs now) and collect.
            index = self.source.byte() % len(self.slots)
            self.slots[index] = Slot(Other("dropped"), True)
            self.call(gc.collect, 0)
        if self.deferred is not None:
            raise self.deferred

    def pick_other(self):
        choice = self.source.byte()
        if choice & 1:
            return self.slots[(choice >> 1) % len(self.slots)].obj
        return POOL[(choice >> 1) % len(POOL)].obj

    def run(self, max_steps=32):
        for _ in range(max_steps):
            if self.source.done():
                break
            self.step()


_COMPARE = {
    "<": lambda a, b: a < b,
    "<=": lambda a, b: a <= b,
    "==": lambda a, b: a == b,
    "!=": lambda a, b: a != b,
    ">": lambda a, b: a > b,
    ">=": lambda a, b: a >= b,
}


def _refcounts():
    return [sys.getrefcount(entry.obj) for entry in POOL if entry.tracked]


def run(data):
    """Runs the program that `data` describes; AssertionError on a fault."""
    global _current
    before = _refcounts()
    unraisable = []
    old_hook = sys.unraisablehook
    old_threshold = gc.get_threshold()
    program = Program(data)
    sys.unraisablehook = unraisable.append
    gc.callbacks.append(program.on_gc)
    gc.set_threshold(program.threshold)
    _current = program
    try:
        program.run()
    finally:
        _current = None
        gc.set_threshold(*old_threshold)
        gc.callbacks.remove(program.on_gc)
        sys.unraisablehook = old_hook
    del program
    gc.collect(0)
    after = _refcounts()
    if after != before:
        # Only a cycle that outlived the young generation can still hold one.
        gc.collect()
        after = _refcounts()
    check(not unraisable, f"unraisable exceptions: {[(u.exc_type, u.exc_value) for u in unraisable]}")
    changed = [(POOL_TRACKED[i], b, a) for i, (b, a) in enumerate(zip(before, after)) if b != a]
    check(not changed, f"reference counts of pool objects changed: {changed}")


POOL_TRACKED = [entry.obj for entry in POOL if entry.tracked]
