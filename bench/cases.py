"""The cases the benchmark times: the shared prelude and the peers' imports,
the micro measures with their goals, and the corpus measures built from the
lines that each pair of parsers accepts."""


# What every case may use. A peer's import stands apart so that a case under
# callgrind loads only its own library; a peer that is not installed leaves its
# name unset, and its cases are skipped.
PRELUDE = """
import collections, random
import vorna
Version = vorna.package.version.Version
SemVer = vorna.package.version.SemVer
DotSeparated = vorna.package.version.DotSeparated
Other = vorna.package.version.Other
def fail_each(parse, lines):
    for text in lines:
        try:
            parse(text)
        except Exception:
            pass
"""
PEER_IMPORTS = {
    "PV": "from packaging.version import Version as PV",
    "RV": "from pep440_rs import Version as RV",
    "SV": "import semver\nSV = semver.Version.parse",
}


def load_namespace():
    namespace = {}
    exec(PRELUDE, namespace)
    for name, code in PEER_IMPORTS.items():
        try:
            exec(code, namespace)
        except ImportError:
            pass
    return namespace


def prelude_for(case):
    return PRELUDE + (PEER_IMPORTS[case.needs] + "\n" if case.needs else "")


MB = 1 << 20
SORT_N = 10_000
SORT_SETUP = f"""
rng = random.Random(7)
triples = [(rng.randrange(10), rng.randrange(50), rng.randrange(100)) for _ in range({SORT_N})]
texts = ["%d.%d.%d" % t for t in triples]
"""
# One line of 1 MiB that the grammar of SemVer reads to its end: a
# pre-release of short identifiers, which the rejected twin ends with a
# character no grammar takes.
BIG_SETUP = f"""
unit = "alpha1."
body = (unit * ({MB} // len(unit) + 1))[:{MB} - 6].rstrip(".")
accepted = "1.0.0-" + body + "a" * ({MB} - 6 - len(body))
rejected = accepted[:-1] + "!"
assert len(accepted) == len(rejected) == {MB}
"""
FAIL_SEMVER = """
try:
    SemVer("1.2.x")
except RuntimeError:
    pass
"""
FAIL_INT = """
try:
    int("1.2.x")
except ValueError:
    pass
"""
FAIL_PEER = """
try:
    {call}("1.2.x")
except ValueError:
    pass
"""


class Case:
    """One operation of one library: `stmt` after `setup`, covering `per` items."""

    def __init__(self, lib, label, stmt, setup="", per=1, needs=None, data=None, callgrind_data=None):
        self.lib, self.label, self.stmt, self.setup, self.per = lib, label, stmt, setup, per
        self.needs = needs  # the prelude name a peer's case cannot run without
        self.data = data  # corpus lines (bytes), decoded afresh by the setup before each pass
        self.callgrind_data = callgrind_data  # the slice of them counted under callgrind
        self.to_vorna = None  # median of the per-round ratios to vorna's case
        self.ns = None  # median nanoseconds per item
        self.instructions = None  # callgrind instructions per item
        self.seconds = None  # seconds per item, one figure per round


class Measure:
    """A row of the goal table: `cases[0] / cases[1]` against the goal, peers beside."""

    def __init__(self, name, cases, goal, unit="op", also=(), net_of=None):
        self.name, self.cases, self.goal, self.unit = name, cases, goal, unit
        # The lib of a case that times the bare loop: when set, every ratio of
        # the measure is taken net of it, (a - loop) / (b - loop) per round.
        self.net_of = net_of
        self.ratio = None  # median of the per-round ratios cases[0] / cases[1]
        # Further goal rows over two cases of the same rounds: (name, numerator
        # lib, denominator lib, goal), each measured into `also_ratios`.
        self.also = list(also)
        self.also_ratios = {}


def holds(value, goal):
    op, bound = goal
    return value <= bound if op == "<=" else value >= bound


def goal_text(goal):
    return ("≤ " if goal[0] == "<=" else "≥ ") + f"{goal[1]:g}"


def micro_measures():
    def peer_fail(lib, call, name):
        return Case(lib, f'failing {name}("1.2.x")', FAIL_PEER.format(call=call), needs=call)

    return [
        Measure('`Version("1.2.3-rc.1")` / `int("12345")`, net of the loop', [
            Case("vorna", 'Version("1.2.3-rc.1")', 'Version("1.2.3-rc.1")'),
            Case("int", 'int("12345")', 'int("12345")'),
            # The other constructor calls whose instructions are watched.
            Case("vorna no lists", 'Version("1.2.3")', 'Version("1.2.3")'),
            # The floor of a constructor call (bench/floor.c says what it leaves out).
            Case("floor", 'floor Floor("1.2.3-rc.1")', 'FL("1.2.3-rc.1")', needs="FL"),
            Case("loop", "the bare loop (pass)", "pass"),
            Case("packaging", 'packaging Version("1.2.3rc1")', 'PV("1.2.3rc1")', needs="PV"),
            Case("pep440_rs", 'pep440_rs Version("1.2.3rc1")', 'RV("1.2.3rc1")', needs="RV"),
        ], ("<=", 0.55), net_of="loop",
            also=[('`Version("1.2.3-rc.1")` / the floor, net of the loop', "vorna", "floor", ("<=", 1.3))]),
        Measure('`SemVer("1.2.3-rc.1")` / `int("12345")`', [
            Case("vorna", 'SemVer("1.2.3-rc.1")', 'SemVer("1.2.3-rc.1")'),
            Case("int", 'int("12345")', 'int("12345")'),
            Case("vorna two lists", 'SemVer("1.2.3-rc.1+b.5")', 'SemVer("1.2.3-rc.1+b.5")'),
            Case("vorna dotted", 'DotSeparated("1.2.3.4")', 'DotSeparated("1.2.3.4")'),
            Case("vorna other", 'Other("nightly")', 'Other("nightly")'),
            Case("semver", 'semver.Version.parse("1.2.3-rc.1")', 'SV("1.2.3-rc.1")', needs="SV"),
        ], ("<=", 0.85)),
        Measure("`sorted()` of SemVers / `sorted()` of their (major, minor, patch) int tuples", [
            Case("vorna", f"sorted() of {SORT_N:,} SemVer", "sorted(x)",
                 SORT_SETUP + "x = [SemVer(t) for t in texts]", per=SORT_N),
            Case("tuples", f"sorted() of {SORT_N:,} int tuples", "sorted(x)",
                 SORT_SETUP + "x = triples", per=SORT_N),
            Case("packaging", f"sorted() of {SORT_N:,} packaging Version", "sorted(x)",
                 SORT_SETUP + "x = [PV(t) for t in texts]", per=SORT_N, needs="PV"),
            Case("pep440_rs", f"sorted() of {SORT_N:,} pep440_rs Version", "sorted(x)",
                 SORT_SETUP + "x = [RV(t) for t in texts]", per=SORT_N, needs="RV"),
            Case("semver", f"sorted() of {SORT_N:,} semver.Version", "sorted(x)",
                 SORT_SETUP + "x = [SV(t) for t in texts]", per=SORT_N, needs="SV"),
        ], ("<=", 0.4), unit="item",
            also=[("`sorted()`: `packaging` / vorna", "packaging", "vorna", (">=", 15.0))]),
        Measure('failing `SemVer("1.2.x")` with its full report / failing `int("1.2.x")`', [
            Case("vorna", 'failing SemVer("1.2.x")', FAIL_SEMVER),
            Case("int", 'failing int("1.2.x")', FAIL_INT),
            peer_fail("packaging", "PV", "packaging Version"),
            peer_fail("pep440_rs", "RV", "pep440_rs Version"),
            peer_fail("semver", "SV", "semver.Version.parse"),
        ], ("<=", 0.8)),
        Measure("rejecting a 1 MB text at its end / accepting a 1 MB text (`SemVer`)", [
            Case("vorna", "SemVer rejecting 1 MiB", "try:\n    SemVer(rejected)\nexcept RuntimeError:\n    pass",
                 BIG_SETUP, per=MB),
            Case("vorna accepting", "SemVer accepting 1 MiB", "SemVer(accepted)", BIG_SETUP, per=MB),
        ], ("<=", 3.0), unit="byte"),
    ]


CORPUS_PEERS = [
    # (peer library, its parser's prelude name, vorna's parser, goal for peer / vorna)
    ("packaging", "PV", "Version", (">=", 30.0)),
    ("pep440_rs", "RV", "Version", (">=", 4.0)),
    ("semver", "SV", "SemVer", (">=", 30.0)),
]
CORPUS_STMT = "collections.deque(map({call}, lines), maxlen=0)"
# Rejected strings, each parse in its own try statement, as a caller meets them.
FAILING_PEER = ("packaging", "PV", "Version", ("<=", 0.3))
FAILING_STMT = "fail_each({call}, lines)"
FAILING_PASS = 20_000
CORPUS_SETUP = "lines = [b.decode() for b in RAW]"


def corpus_measures(raw_lines, namespace, limit):
    """Measures over the corpus lines that both vorna and one peer accept."""

    found = {}

    def accepted(call):
        if call in found:
            return found[call]
        parse = namespace[call]
        ok = []
        for i, text in enumerate(raw_lines):
            try:
                parse(text.decode())
            except Exception:  # each peer has its own error type; any refusal counts
                continue
            ok.append(i)
        found[call] = set(ok)
        return found[call]

    measures = []
    for lib, call, ours, goal in CORPUS_PEERS:
        if call not in namespace:
            continue
        common = sorted(accepted(ours) & accepted(call))
        subset = [raw_lines[i] for i in common]
        name = f"corpus: `{lib}` / `{ours}`, strings both accept ({len(subset):,})"
        cases = [
            Case(lib, f"corpus, {lib}", CORPUS_STMT.format(call=call), CORPUS_SETUP, per=len(subset), needs=call,
                 data=subset, callgrind_data=subset[:limit]),
            Case("vorna", f"corpus, vorna {ours}", CORPUS_STMT.format(call=ours), CORPUS_SETUP, per=len(subset),
                 data=subset, callgrind_data=subset[:limit]),
            # What the driver itself costs per string, in either parser's figure.
            Case("loop", "corpus, len() in place of a parser", CORPUS_STMT.format(call="len"), CORPUS_SETUP,
                 per=len(subset), data=subset, callgrind_data=subset[:limit]),
        ]
        measures.append(Measure(name, cases, goal, unit="string"))

    lib, call, ours, goal = FAILING_PEER
    if call in namespace:
        rejected = sorted(set(range(len(raw_lines))) - accepted(ours) - accepted(call))
        subset = [raw_lines[i] for i in rejected]
        name = f"failing corpus strings: vorna `{ours}` / `{lib}`, strings both reject ({len(subset):,})"
        # Few strings fail: a pass goes over them as often as it takes to be
        # long enough to time.
        subset = subset * max(1, -(-FAILING_PASS // max(1, len(subset))))
        cases = [
            Case("vorna", f"failing corpus, vorna {ours}", FAILING_STMT.format(call=ours), CORPUS_SETUP,
                 per=len(subset), data=subset, callgrind_data=subset[:limit]),
            Case(lib, f"failing corpus, {lib}", FAILING_STMT.format(call=call), CORPUS_SETUP, per=len(subset),
                 needs=call, data=subset, callgrind_data=subset[:limit]),
            Case("loop", "failing corpus, len() in place of a parser", FAILING_STMT.format(call="len"),
                 CORPUS_SETUP, per=len(subset), data=subset, callgrind_data=subset[:limit]),
        ]
        measures.append(Measure(name, cases, goal, unit="string"))
    return measures

