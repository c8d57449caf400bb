"""Speed of the version classes against Python's own baselines.

Prints ratios: parsing a version against int("12345"), sorting parsed
versions against sorting tuples of ints, and, when installed, against
packaging.version.Version. Nothing here asserts; it reports.

    PYTHONPATH=<build dir> python bench/bench_classes.py
"""
import random
import timeit

import vorna

Version = vorna.package.version.Version
SemVer = vorna.package.version.SemVer


def best(statement, number, **names):
    """Seconds per call: the best of five repeats."""
    timer = timeit.Timer(statement, globals=names)
    return min(timer.repeat(repeat=5, number=number)) / number


def report(label, seconds, baseline=None):
    ratio = f"  {seconds / baseline:6.2f}x" if baseline else ""
    print(f"{label:<52} {seconds * 1e9:9.1f} ns{ratio}")


def main():
    n = 200_000
    int_parse = best('int("12345")', n)
    print("-- construction (ratio against int(\"12345\"))")
    report('int("12345")', int_parse)
    for text in ["1.2.3-rc.1", "1.2.3", "2024.05.1", "foo_bar"]:
        report(f'Version("{text}")', best(f'Version("{text}")', n, Version=Version), int_parse)
    report('SemVer("1.2.3-rc.1")', best('SemVer("1.2.3-rc.1")', n, SemVer=SemVer), int_parse)
    report("SemVer(major=1, minor=2, patch=3)", best("SemVer(major=1, minor=2, patch=3)", n, SemVer=SemVer), int_parse)
    sample = SemVer("1.2.3-rc.1+build.5")
    report("semver.major", best("s.major", n, s=sample), int_parse)
    report("semver.rc", best("s.rc", n, s=sample), int_parse)
    report("semver.major = 7", best("s.major = 7", n, s=sample), int_parse)
    report("str(semver)", best("str(s)", n, s=sample), int_parse)
    report("repr(semver)", best("repr(s)", n, s=sample), int_parse)
    report("semver < semver", best("s < t", n, s=sample, t=SemVer("1.2.4")), int_parse)

    rng = random.Random(7)
    triples = [(rng.randrange(5), rng.randrange(20), rng.randrange(50)) for _ in range(10_000)]
    texts = [f"{a}.{b}.{c}" + ("-rc.1" if (a + b + c) % 3 == 0 else "") for a, b, c in triples]
    parsed = [Version(t) for t in texts]
    tuples = [(a, b, c, (a + b + c) % 3 != 0) for a, b, c in triples]
    rounds = 20
    sort_tuples = best("sorted(x)", rounds, x=tuples)
    print("-- sorting 10,000 versions (ratio against tuples of ints)")
    report("sorted(tuples of ints)", sort_tuples)
    report("sorted(vorna Version)", best("sorted(x)", rounds, x=parsed), sort_tuples)
    report("parse 10,000 texts with vorna Version", best("[V(t) for t in x]", rounds, V=Version, x=texts))

    try:
        from packaging.version import Version as PackagingVersion
    except ImportError:
        print("-- packaging is not installed; skipping the comparison with it")
        return
    print("-- against packaging.version.Version (ratio: packaging / vorna)")
    for text in ["1.2.3rc1", "1.2.3"]:
        ours = best(f'Version("{text}")', n // 4, Version=Version)
        theirs = best(f'P("{text}")', n // 4, P=PackagingVersion)
        print(f'{"construct " + text:<52} vorna {ours * 1e9:8.1f} ns, packaging {theirs * 1e9:8.1f} ns,'
              f" {theirs / ours:6.1f}x")
    packaged = [PackagingVersion(t.replace("-rc.", "rc")) for t in texts]
    ours = best("sorted(x)", rounds, x=parsed)
    theirs = best("sorted(x)", rounds, x=packaged)
    print(f'{"sort 10,000":<52} vorna {ours * 1e3:8.2f} ms, packaging {theirs * 1e3:8.2f} ms, {theirs / ours:6.1f}x')


if __name__ == "__main__":
    main()
