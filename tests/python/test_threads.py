"""Eight threads sharing instances: reads, writes, copies, comparisons and
text forms interleave without errors and never show a half-written value."""
import sys
import threading

from classes_helpers import DotSeparated, Other, SemVer, Version

THREADS = 8
ITERATIONS = 20000

RC_CHOICES = [None, [], ["alpha"], ["rc", "1"], ["a"] * 20]
PARTS_CHOICES = [[], ["1"], ["2024", "05"], [str(i) for i in range(30)]]
VALUE_CHOICES = ["", "nightly", "x" * 1000]
SEMVER_TEXTS = {f"1.{m}.3" + ("" if rc is None else "-" + ".".join(rc)) for m in (2, 7) for rc in RC_CHOICES}


def test_threads_hammering_shared_instances():
    semver = SemVer(major=1, minor=2, patch=3)
    dotted = DotSeparated(parts=["1"])
    other = Other(value="nightly")
    version = Version("1.2.3")
    errors = []
    start = threading.Barrier(THREADS)

    def work(seed):
        try:
            start.wait()
            for i in range(ITERATIONS):
                k = seed + i
                semver.rc = RC_CHOICES[k % len(RC_CHOICES)]
                semver.minor = 2 if k % 2 else 7
                dotted.parts = PARTS_CHOICES[k % len(PARTS_CHOICES)]
                other.value = VALUE_CHOICES[k % len(VALUE_CHOICES)]

                assert semver.rc in RC_CHOICES
                assert dotted.parts in PARTS_CHOICES
                assert other.value in VALUE_CHOICES
                assert str(semver) in SEMVER_TEXTS
                assert repr(dotted).startswith("DotSeparated { parts: [")

                copy = SemVer(semver)
                assert str(copy) in SEMVER_TEXTS
                wrapped = Version(dotted)
                assert wrapped == Version(DotSeparated(wrapped))
                assert (copy <= semver) in (True, False)
                assert (Version(other) > version) is True
                assert (other == Other(other)) in (True, False)
        except BaseException as error:  # noqa: B902 - every failure must reach the main thread
            errors.append(error)

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
    assert str(semver) in SEMVER_TEXTS
