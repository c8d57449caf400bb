"""Threads sharing instances at a 1 µs switch interval. The values given to
the setters run Python code while they are converted (an `__index__`, a
sequence's `__getitem__`) and give the interpreter lock away there, so a
setter that held its borrow across the conversion would make the other
threads' reads and writes fail with a borrow error. Every value read must be
one that some thread wrote, whole, and each field must end as the last value
one of the threads wrote to it."""
import sys
import threading
import time

from classes_helpers import DotSeparated, Other, SemVer

THREADS = 6
ITERATIONS = 1500

MAJORS = [1, 7, 4294967295]
RC_CHOICES = [None, [], ["alpha"], ["rc", "1"], ["a"] * 20]
PARTS_CHOICES = [[], ["1"], ["2024", "05"], [str(i) for i in range(30)]]
VALUE_CHOICES = ["", "nightly", "x" * 1000]
SEMVER_TEXTS = {f"{m}.2.3" + ("" if rc is None else "-" + ".".join(rc)) for m in MAJORS for rc in RC_CHOICES}


class Yielding:
    """An index, or a sequence of texts, whose conversion lets other threads run."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)
        return self.value

    def __len__(self):
        return len(self.value)

    def __getitem__(self, index):
        time.sleep(0)
        return self.value[index]


def test_readers_and_writers_see_only_written_values_and_no_borrow_conflict():
    semver = SemVer(major=1, minor=2, patch=3)
    dotted = DotSeparated(parts=["1"])
    other = Other(value="nightly")
    errors = []
    last_written = []
    start = threading.Barrier(THREADS)

    def work(seed):
        last = {}
        try:
            start.wait()
            for i in range(ITERATIONS):
                k = seed * 7 + i
                last["major"] = MAJORS[k % len(MAJORS)]
                semver.major = Yielding(last["major"])
                last["rc"] = RC_CHOICES[k % len(RC_CHOICES)]
                semver.rc = None if last["rc"] is None else Yielding(last["rc"])
                last["parts"] = PARTS_CHOICES[k % len(PARTS_CHOICES)]
                dotted.parts = Yielding(last["parts"])
                last["value"] = VALUE_CHOICES[k % len(VALUE_CHOICES)]
                other.value = last["value"]

                assert semver.major in MAJORS and semver.rc in RC_CHOICES
                assert dotted.parts in PARTS_CHOICES and other.value in VALUE_CHOICES
                copy = SemVer(semver)
                assert str(copy) in SEMVER_TEXTS and copy == SemVer(str(copy))
                assert semver <= SemVer(major=4294967295, minor=3, patch=0)
                assert str(DotSeparated(dotted)) in {".".join(p) for p in PARTS_CHOICES}
                assert repr(Other(other)) in {f'Other {{ value: "{v}" }}' for v in VALUE_CHOICES}
        except BaseException as error:  # noqa: B902 - every failure must reach the main thread
            errors.append(error)
        last_written.append(last)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=work, args=(n,)) for n in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert errors == []
    final = {"major": semver.major, "rc": semver.rc, "parts": dotted.parts, "value": other.value}
    for field, value in final.items():
        assert value in [last[field] for last in last_written], field
