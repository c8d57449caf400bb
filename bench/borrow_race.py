"""One thread reads a getter that builds a list while making cyclic garbage
whose finalizer yields the interpreter to other threads; another thread sets
a number on the same instance. Counts the setter calls that failed with a
borrow error. A getter that held its borrow while allocating would let the
collector, and through it the other thread's setter, in mid-read.

    python bench/borrow_race.py [seconds]   (default 10)
"""
import gc
import sys
import threading
import time

import vorna

SemVer = vorna.package.version.SemVer


class Garbage:
    def __init__(self):
        self.cycle = self

    def __del__(self):
        time.sleep(0)  # lets the other thread run inside the collection


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    value = SemVer(major=1, minor=2, patch=3, rc=["rc", "1"])
    stop = threading.Event()
    reads = [0]
    sets = [0]
    failures = [0]

    def reader():
        while not stop.is_set():
            Garbage()
            # Lists kept alive, so the getter's lists come from the allocator
            # (and count towards a collection) rather than a free list.
            batch = [value.rc for _ in range(100)]
            reads[0] += len(batch)

    def setter():
        minor = 0
        while not stop.is_set():
            minor ^= 1
            try:
                value.minor = minor
            except RuntimeError:
                failures[0] += 1
            sets[0] += 1

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    threads = [threading.Thread(target=reader), threading.Thread(target=setter)]
    try:
        for thread in threads:
            thread.start()
        time.sleep(seconds)
    finally:
        stop.set()
        for thread in threads:
            thread.join()
        sys.setswitchinterval(interval)
        gc.collect()
    print(f"Python {sys.version.split()[0]}, {seconds:g} s: {reads[0]:,} reads, {sets[0]:,} setter calls, "
          f"{failures[0]:,} setter failures")


if __name__ == "__main__":
    main()
