"""The constructor operations of a Python-surface program: text, copies,
pool objects, keywords and odd arities, each checked against the outcome the
classes' rules give."""
from surface_pool import ACCEPTED, KEYWORDS, MISSING, POOL, REQUIRED, conversion, type_name_outcome
from surface_rules import (
    CLASSES,
    EMPTY_SPREAD_THROUGH_NEW_DROPPED,
    Err,
    Ok,
    SemVer,
    Version,
    check,
    check_outcome,
    check_parse_error,
    expect_copy,
    observe,
)


class Constructors:
    """Mixed into Program, which provides `source`, `slots`, `call`, `slot`
    and `store`."""

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
