"""Faults injected at the C++ boundary through the hooks of a test build:
exceptions leaving a setter, code run while a setter holds its writer
borrow, the instance a constructor builds its value in failing or offering
a tail that cannot be used, a report's str of another length than its
drawing. Each must end in the documented exception, NotImplemented or the
internal-fault report, never a half-changed instance or a str written past
its end."""
import ctypes
import re
import signal
import subprocess
import sys

import pytest

from classes_helpers import ALL_CLASSES, DotSeparated, Other, SemVer, Version, sample

import vorna

# The fault-injection hooks of the test build, called with the interpreter lock held.
HOOKS = ctypes.PyDLL(vorna.__file__)
BAD_ALLOC, LENGTH_ERROR, UNEXPECTED = 1, 2, 3
# What the next instance built from text meets.
SITE_BAD_ALLOC, SITE_MISALIGNED_TAIL, SITE_SHORT_ROOM, SITE_UNPADDED, SITE_MISALIGNED_ROOM = 1, 2, 3, 4, 5
TEXTS = {SemVer: "1.2.3-rc.1+b.5", Version: "1.2.x", DotSeparated: "2024.05", Other: "nightly"}


def block_in_tail(instance):
    return HOOKS.vorna_test_block_in_tail(ctypes.py_object(instance)) == 1


@pytest.mark.needs_test_hooks
@pytest.mark.parametrize("held_side", ["left", "right"])
def test_comparison_with_a_writer_holding_either_operand_is_not_implemented(held_side):
    # Code that runs while a setter holds its writer borrow (a finalizer, or
    # another thread without the interpreter lock) sees either operand refuse
    # a reader borrow the same way: NotImplemented, so Python falls back to
    # identity for == and TypeError for an ordering.
    held, free = SemVer("1.2.3"), SemVer("1.2.3")
    left, right = (held, free) if held_side == "left" else (free, held)
    outcomes = []

    def compare():
        outcomes.append(left == right)
        outcomes.append(left.__lt__(right))
        try:
            left < right
        except TypeError:
            outcomes.append("TypeError")

    HOOKS.vorna_test_call_in_next_store(ctypes.py_object(compare))
    held.major = 2
    assert outcomes == [False, NotImplemented, "TypeError"]
    assert held.major == 2 and free == SemVer("1.2.3")


@pytest.mark.needs_test_hooks
@pytest.mark.parametrize("failure", [BAD_ALLOC, LENGTH_ERROR], ids=["bad_alloc", "length_error"])
@pytest.mark.parametrize(
    "cls, attribute, value",
    [(SemVer, "major", 9), (SemVer, "rc", ["x"]), (DotSeparated, "parts", ["x"]), (Other, "value", "x")],
)
def test_cpp_exception_leaving_a_setter_is_memory_error(failure, cls, attribute, value):
    instance = sample(cls)
    before = getattr(instance, attribute)
    HOOKS.vorna_test_fail_next_store(failure)
    with pytest.raises(MemoryError):
        setattr(instance, attribute, value)
    assert getattr(instance, attribute) == before
    # The writer borrow was given back.
    setattr(instance, attribute, value)
    assert getattr(instance, attribute) == value


SINK_FAULT = (r"vorna: internal fault on thread \d+ at .*unit_sink\.hpp:\d+ in .*: "
              r"a text sink was %s the length measured for it\n")


BLOCK_FAULT = r"vorna: internal fault .*: %s\n"
TEXT_FAULT = r"vorna: internal fault .*list_forms\.cpp:\d+ in .*: a text writer was %s\n"


# A fault planted through a hook must end the process with the fault report,
# before anything lands past the storage it was measured for.
@pytest.mark.needs_test_hooks
@pytest.mark.parametrize(
    "hook, statement, report",
    [
        ("vorna_test_fail_next_store(%d)" % UNEXPECTED, "V.Other('x').value = 'y'",
         r".*unexpected C\+\+ exception at the Python boundary.*"),
        # One short, the write is refused before it runs past the str; one
        # long, the str would be raised with a character never written.
        ("vorna_test_skew_next_report_measure(-1)", "V.SemVer('1.2.x')", SINK_FAULT % "given more than"),
        ("vorna_test_skew_next_report_measure(1)", "V.SemVer('1.2.x')", SINK_FAULT % "left short of"),
        # A report too long for the draft, or with an astral character, is
        # drawn again into its str.
        ("vorna_test_skew_next_report_measure(-1)", "V.SemVer('1.2.' + 'x' * 3000)", SINK_FAULT % "given more than"),
        ("vorna_test_skew_next_report_measure(1)", "V.SemVer('1.2.\\U0001F600')", SINK_FAULT % "left short of"),
        ("vorna_test_fault_next_site(%d)" % SITE_SHORT_ROOM, "V.SemVer('1.2.3-rc.1')", BLOCK_FAULT % "a block larger than the memory given for it"),
        # An allocation that leaves out the padding before the tail gives
        # room short of the block; room out of alignment would lose its flags.
        ("vorna_test_fault_next_site(%d)" % SITE_UNPADDED, "V.DotSeparated('1.2.3.4')",
         BLOCK_FAULT % "a block larger than the memory given for it"),
        ("vorna_test_fault_next_site(%d)" % SITE_MISALIGNED_ROOM, "V.Other('nightly')",
         BLOCK_FAULT % "room for a block that is not 16-byte aligned"),
        # A text form's str shorter or longer than its count; a long text's
        # str shorter than its count.
        ("vorna_test_skew_next_str(-1)", "str(V.SemVer('1.2.3-a.b.c'))", TEXT_FAULT % "given more than its storage holds"),
        ("vorna_test_skew_next_str(-2)", "str(V.SemVer('1.2.3-a.b.c+x.y.z'))",
         TEXT_FAULT % "given more than its storage holds"),
        ("vorna_test_skew_next_str(1)", "str(V.Version('nightly'))", TEXT_FAULT % "left short of the end of its storage"),
        ("vorna_test_skew_next_str(-1)", "repr(V.Other('x' * 5000))", SINK_FAULT % "given more than"),
    ],
    ids=["unexpected_exception", "report_one_short", "report_one_long", "long_report_one_short", "astral_report_one_long",
         "room_one_short", "allocation_unpadded",
         "room_misaligned", "text_form_one_short", "text_form_two_short", "text_form_one_long", "long_text_one_short"],
)
def test_a_planted_fault_ends_the_process_with_the_fault_report(hook, statement, report):
    result = subprocess.run(
        [sys.executable, "-c", f"import ctypes, vorna; V = vorna.package.version; ctypes.PyDLL(vorna.__file__).{hook}; "
         + statement],
        capture_output=True, text=True, timeout=120,
    )
    assert result.returncode == -signal.SIGABRT
    assert re.fullmatch(report, result.stderr, re.S)


@pytest.mark.needs_test_hooks
@pytest.mark.parametrize(
    "cls, text, in_tail",
    [(cls, text, True) for cls, text in TEXTS.items()]
    + [(SemVer, "1.2.3", False), (Other, "x" * 200, False), (Version, "1." * 100 + "2", False)],
    ids=lambda value: value.__name__ if isinstance(value, type) else str(value)[:12],
)
def test_a_short_block_lies_in_its_instance_and_a_copy_owns_its_own(cls, text, in_tail):
    # No block (1.2.3) or a long one: none in the tail.
    instance = cls(text)
    assert block_in_tail(instance) is in_tail
    copy = cls(instance)
    assert not block_in_tail(copy)
    del instance
    assert str(copy) == text


@pytest.mark.needs_test_hooks
@pytest.mark.parametrize("cls", ALL_CLASSES)
def test_a_tail_out_of_alignment_sends_the_block_to_the_heap(cls):
    HOOKS.vorna_test_fault_next_site(SITE_MISALIGNED_TAIL)
    instance = cls(TEXTS[cls])
    assert not block_in_tail(instance)
    assert str(instance) == TEXTS[cls] and instance == cls(TEXTS[cls])


@pytest.mark.needs_test_hooks
@pytest.mark.parametrize("cls", ALL_CLASSES)
def test_an_instance_whose_value_failed_is_freed(cls):
    # The instance holds a reference to its class until it is freed.
    references = sys.getrefcount(cls)
    HOOKS.vorna_test_fault_next_site(SITE_BAD_ALLOC)
    with pytest.raises(MemoryError):
        cls(TEXTS[cls])
    assert sys.getrefcount(cls) == references
    assert str(cls(TEXTS[cls])) == TEXTS[cls]


@pytest.mark.needs_test_hooks
@pytest.mark.parametrize(
    "form, value",
    [(repr, Version("1.2.3-rc.1")), (str, Other(value="caf\u00e9")), (str, DotSeparated(parts=["\u65e5", "1"]))],
    ids=["repr", "str-latin-1", "str-wide"],
)
def test_a_render_that_failed_part_way_leaves_nothing_to_the_next(form, value):
    # The thread's render buffer as a render that failed part way leaves it.
    expected = form(value)
    HOOKS.vorna_test_leave_in_render_buffer(b"left over by a failed render")
    assert form(value) == expected
