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
import sys

import surface_pool
import vorna
from surface_construct import Constructors
from surface_pool import POOL, Index, ListSub, OldParts, Parts, RaisingIndex, conversion
from surface_rules import (
    ATTRIBUTES,
    PROPERTIES,
    ByteSource,
    DotSeparated,
    Err,
    Ok,
    Other,
    SemVer,
    Version,
    as_bytes,
    check,
    check_outcome,
    check_parse_error,
    observe,
    order_key,
    text_form,
)


# ---------------------------------------------------------------------------
# Programs


class Slot:
    def __init__(self, obj, parsed=False):
        self.obj = obj
        self.shadow = observe(obj)
        self.parsed = parsed  # built from text and unchanged since


class Program(Constructors):
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
    before = _refcounts()
    unraisable = []
    old_hook = sys.unraisablehook
    old_threshold = gc.get_threshold()
    program = Program(data)
    sys.unraisablehook = unraisable.append
    gc.callbacks.append(program.on_gc)
    gc.set_threshold(program.threshold)
    surface_pool.current = program
    try:
        program.run()
    finally:
        surface_pool.current = None
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
