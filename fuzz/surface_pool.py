"""The argument pool of the Python-surface harness: plain and hostile objects,
each with the outcomes it gives as a version number, a text and a list of
parts, and the keyword names the constructors are called with."""
from surface_rules import OUT_OF_RANGE, Boom, DotSeparated, Err, Ok, Other, SemVer, Version, as_bytes

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


current = None  # the running program, for the meddling objects (set by run)


def meddle():
    if current is not None:
        current.meddle()


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
