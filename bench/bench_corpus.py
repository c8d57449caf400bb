"""Parsing the version corpus: vorna.Version against packaging.version.Version.

Usage: python bench/bench_corpus.py [CORPUS]   (default ../shared/corpus/versions.txt)

Both parsers see every line; a rejected string costs what raising and catching
its exception costs. Prints the seconds of each and their ratio, measured in
one run (the machines are shared and noisy: compare ratios, not seconds).

The same Python loop also runs with the builtin len() in place of a parser;
that is the interpreter's own cost of the loop, which no parser can avoid.
The "net" ratio compares the two parsers with that cost taken out.
"""
import sys
import time
from pathlib import Path

import vorna

Version = vorna.package.version.Version

try:
    from packaging.version import InvalidVersion
    from packaging.version import Version as PackagingVersion
except ImportError:  # pragma: no cover - the bench extra installs it
    sys.exit("packaging is not installed: pip install packaging")


def parse_all(parse, error, lines):
    accepted = 0
    start = time.perf_counter()
    for line in lines:
        try:
            parse(line)
            accepted += 1
        except error:
            pass
    return time.perf_counter() - start, accepted


def best_of(runs, parse, error, lines):
    results = [parse_all(parse, error, lines) for _ in range(runs)]
    return min(r[0] for r in results), results[0][1]


def main():
    default = Path(__file__).resolve().parents[2] / "shared" / "corpus" / "versions.txt"
    path = Path(sys.argv[1]) if len(sys.argv) > 1 else default
    lines = path.read_text(encoding="utf-8").splitlines()
    loop_seconds, _ = best_of(5, len, RuntimeError, lines)
    vorna_seconds, vorna_ok = best_of(5, Version, RuntimeError, lines)
    packaging_seconds, packaging_ok = best_of(2, PackagingVersion, InvalidVersion, lines)
    print(f"corpus: {len(lines)} lines from {path}")
    print(f"loop alone (len):          {loop_seconds:8.3f} s")
    print(f"vorna.Version:             {vorna_seconds:8.3f} s, accepted {vorna_ok}")
    print(f"packaging.version.Version: {packaging_seconds:8.3f} s, accepted {packaging_ok}")
    print(f"packaging / vorna:         {packaging_seconds / vorna_seconds:8.1f}x")
    net = (packaging_seconds - loop_seconds) / (vorna_seconds - loop_seconds)
    print(f"packaging / vorna, net:    {net:8.1f}x  (loop alone taken out of both)")


if __name__ == "__main__":
    main()
