"""Speed, memory and import time of vorna, side by side with its peers.

    python bench/bench.py [--corpus PATH] [--quick] [--no-callgrind] [--no-write]

Every measure of the goal table is taken here, each next to the same work done
by `int()`, tuples, `packaging`, `pep440_rs` and `semver` where they do it:

- Speed: CPU time of this thread (`time.thread_time`) over a timeit loop.
  The cases of one measure run in alternated rounds (the order rotates from
  round to round); every ratio is the median of the per-round ratios, every
  figure in nanoseconds the median of the rounds.
- Corpus: the corpus lines that both parsers of a comparison accept, decoded
  into fresh str objects in file order before every pass (so that neither
  side meets cached UTF-8 or a layout shuffled in memory), and fed through
  `deque(map(parse, lines), maxlen=0)`, which keeps the interpreter's own
  cost per string to a minimum.
- Memory: resident growth over N kept objects (a list of them included) in a
  fresh interpreter per row.
- Import: the self time of the module's line in `python -X importtime`, in a
  fresh interpreter per import, alternated; the least of the rounds, since
  that clock is the wall clock.
- Instructions: callgrind's instruction count per item, the difference
  between 2n statements and n in one interpreter, so that start-up and the
  loop's fixed costs cancel out. Unlike the times it does not move with
  machine noise.

It prints the tables, and unless --no-write replaces the results section of
bench/README.md and writes bench/bench.png. Only vorna's public API is used.
"""
import argparse
import datetime
import os
import platform
import shutil
import sys
import time
from pathlib import Path

from cases import PEER_IMPORTS, corpus_measures, load_namespace, micro_measures
from measures import (MEMORY_ROWS, build_floor, callgrind_counts, import_times, memory_rows, run_rounds,
                      wheel_measure)
from report import CHART, HERE, README, build_report, cpu_name, version_of, write_chart, write_readme


def main():
    default_corpus = HERE.parents[1] / "shared" / "corpus" / "versions.txt"
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=default_corpus)
    parser.add_argument("--quick", action="store_true", help="fewer rounds, a slice of the corpus, fewer objects")
    parser.add_argument("--no-callgrind", action="store_true", help="skip the instruction counts")
    parser.add_argument("--no-write", action="store_true", help="print only; leave README.md and the chart")
    parser.add_argument("--wheel", type=Path, help="a folder holding the released wheel installed (pip --target), "
                        "timed beside this interpreter's local build")
    args = parser.parse_args()
    args.rounds = 3 if args.quick else 5
    args.budget = 0.03 if args.quick else 0.15
    args.objects = 200_000 if args.quick else 1_000_000
    python = sys.executable

    # The floor of a constructor call, compiled for this interpreter; its
    # folder goes on sys.path in every interpreter that runs its case.
    floor_dir = build_floor(python, HERE.parent / "build" / "bench-floor")
    if floor_dir:
        PEER_IMPORTS["FL"] = f"import sys\nsys.path.insert(0, {str(floor_dir)!r})\nfrom _vorna_floor import Floor as FL"
    namespace = load_namespace()
    peers = []
    for lib, call in (("packaging", "PV"), ("pep440_rs", "RV"), ("semver", "SV")):
        if call in namespace:
            module = __import__(lib)
            peers.append(f"{lib} {getattr(module, '__version__', '') or version_of(lib)}")
        else:
            print(f"{lib} is not installed: its cases are skipped")

    raw = args.corpus.read_bytes().split(b"\n")
    if raw and not raw[-1]:
        raw.pop()
    if args.quick:
        raw = raw[:200_000]

    measures = micro_measures()
    for m in measures:
        m.cases = [c for c in m.cases if not c.needs or c.needs in namespace]
    started = time.monotonic()
    print(f"sorting out the {len(raw):,} corpus lines that each pair of parsers accepts", flush=True)
    measures[2:2] = corpus_measures(raw, namespace, limit=2_000)
    for m in measures:
        print(f"[{time.monotonic() - started:5.0f} s] timing: {m.name}", flush=True)
        run_rounds(m, namespace, args.rounds, args.budget)

    can_count = not args.no_callgrind and shutil.which("valgrind")
    if not args.no_callgrind and not can_count:
        print("valgrind is not installed: no instruction counts")
    if can_count:
        print(f"[{time.monotonic() - started:5.0f} s] counting instructions under callgrind", flush=True)
        callgrind_counts([c for m in measures for c in m.cases], python)

    if args.wheel:
        print(f"[{time.monotonic() - started:5.0f} s] the released wheel beside the local build", flush=True)
        measures.append(wheel_measure(python, args.wheel, namespace, args.rounds, args.budget, can_count))

    print(f"[{time.monotonic() - started:5.0f} s] memory, {len(MEMORY_ROWS)} fresh interpreters", flush=True)
    memory = memory_rows(python, args.objects, namespace)
    print(f"[{time.monotonic() - started:5.0f} s] import times", flush=True)
    imports, import_ratio = import_times(python, 3 * args.rounds, namespace)

    env = {
        "date": datetime.date.today().isoformat(),
        "python": f"CPython {platform.python_version()}",
        "machine": f"{platform.machine()} {cpu_name()}, {os.cpu_count()} shared cores",
        "peers": ", ".join(peers) or "no peers installed",
        "corpus_lines": len(raw),
    }
    report = build_report(args, measures, memory, imports, import_ratio, env)
    print(f"[{time.monotonic() - started:5.0f} s] done\n")
    print(report)
    if not args.no_write:
        write_chart(measures, memory, CHART)
        write_readme(report)
        print(f"\nwrote {README} and {CHART}")



if __name__ == "__main__":
    main()
