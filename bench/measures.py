"""Taking the measures: alternated timing rounds, callgrind's instruction
counts, the released wheel beside the local build, resident memory per
object, and import times, each in fresh interpreters where it must be."""
import json
import os
import re
import shlex
import statistics
import subprocess
import sysconfig
import tempfile
import time
import timeit
from pathlib import Path

from cases import PEER_IMPORTS, PRELUDE, Case, Measure, prelude_for


def build_floor(python, out_dir):
    """Compiles bench/floor.c for `python` into `out_dir`; the folder to put on
    sys.path, or None (with the reason printed) when it cannot be built."""
    source = Path(__file__).resolve().parent / "floor.c"
    query = ("import sysconfig; v = sysconfig.get_config_var; "
             "print(sysconfig.get_paths()['include']); print(v('EXT_SUFFIX')); print(v('CC') or 'cc')")
    include, suffix, cc = subprocess.run([python, "-c", query], capture_output=True, text=True,
                                         check=True).stdout.splitlines()
    out_dir.mkdir(parents=True, exist_ok=True)
    target = out_dir / f"_vorna_floor{suffix}"
    command = shlex.split(cc) + ["-O2", "-shared", "-fPIC", f"-I{include}", str(source), "-o", str(target)]
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        print(f"the floor extension did not build, its cases are skipped:\n{done.stderr[-2000:]}")
        return None
    return out_dir


def net_ratio(a, b, loop):
    """Median over rounds of (a - loop) / (b - loop)."""
    return statistics.median((x - z) / (y - z) for x, y, z in zip(a, b, loop))


def run_rounds(measure, namespace, rounds, budget):
    """Times every case of a measure in alternated rounds; fills ns and ratios."""
    timers, numbers = [], []
    for case in measure.cases:
        globs = dict(namespace, RAW=case.data)
        timer = timeit.Timer(case.stmt, case.setup, timer=time.thread_time, globals=globs)
        # A corpus pass is long enough on its own, and its setup must run before each pass.
        numbers.append(1 if case.data is not None else calibrate(timer, budget))
        timers.append(timer)
    seconds = [[] for _ in measure.cases]
    for r in range(rounds):
        order = list(range(len(timers)))
        for i in order[r % len(order):] + order[: r % len(order)]:
            seconds[i].append(timers[i].timeit(numbers[i]) / (numbers[i] * measure.cases[i].per))
    ours = next(s for c, s in zip(measure.cases, seconds) if c.lib == "vorna")
    for case, s in zip(measure.cases, seconds):
        case.ns = statistics.median(s) * 1e9
        case.to_vorna = median_ratio(s, ours)
        case.seconds = s
    by_lib = {c.lib: c.seconds for c in measure.cases}
    loop = by_lib.get(measure.net_of) if measure.net_of else None

    def ratio(a, b):
        return net_ratio(a, b, loop) if loop else median_ratio(a, b)

    measure.ratio = ratio(seconds[0], seconds[1])
    for name, numerator, denominator, _ in measure.also:
        if numerator in by_lib and denominator in by_lib:
            measure.also_ratios[name] = ratio(by_lib[numerator], by_lib[denominator])


def median_ratio(a, b):
    return statistics.median(x / y for x, y in zip(a, b))


def calibrate(timer, budget):
    """Loop count for about `budget` seconds per round."""
    number = 1
    while True:
        elapsed = timer.timeit(number)
        if elapsed >= budget / 10 or number >= 1 << 24:
            return max(1, int(number * budget / max(elapsed, 1e-9)))
        number *= 4


# Runs under callgrind, which dumps its counts whenever getppid() is entered:
# each case is timed twice between such marks, n statements and then 2n.
CALLGRIND_DRIVER = """
import json, os, sys, timeit
for case in json.load(open(sys.argv[1])):
    names = {}
    if case["raw"]:
        names["RAW"] = open(case["raw"], "rb").read().split(b"\\n")
    exec(case["setup"], names)
    timer = timeit.Timer(case["stmt"], globals=names)
    timer.timeit(1)
    os.getppid()
    timer.timeit(case["n"])
    os.getppid()
    timer.timeit(2 * case["n"])
    os.getppid()
"""


# A statement that takes longer natively (sorting 10,000 objects whose order
# is written in Python) would hold up the run under callgrind for a minute.
CALLGRIND_MAX_SECONDS = 0.1
CALLGRIND_STATEMENTS = 5_000


def callgrind_counts(cases, python, path=None):
    """Fills each case's instructions per item, from one run under callgrind.

    The difference between the 2n and the n segment is n statements with the
    loop's fixed costs cancelled; start-up and imports are outside both.
    `path`, when given, goes first on the module search path.
    """
    with tempfile.TemporaryDirectory() as tmp:
        plan, counted = [], []
        for case in cases:
            raw, per = None, case.per
            if case.callgrind_data is not None:
                per = len(case.callgrind_data)
            if case.ns * 1e-9 * per > CALLGRIND_MAX_SECONDS:
                continue
            if case.callgrind_data is not None:
                raw = str(Path(tmp) / f"corpus{len(plan)}.txt")
                Path(raw).write_bytes(b"\n".join(case.callgrind_data))
            # A fixed count, so that the figures of two runs are comparable;
            # one statement of a longer item (a sort, a corpus slice, a 1 MiB
            # text) is long enough on its own against the loop's jitter.
            n = CALLGRIND_STATEMENTS if per == 1 else 1
            plan.append({"stmt": case.stmt, "setup": prelude_for(case) + case.setup, "raw": raw, "n": n, "per": per})
            counted.append(case)
        Path(tmp, "plan.json").write_text(json.dumps(plan))
        Path(tmp, "driver.py").write_text(CALLGRIND_DRIVER)
        out = Path(tmp, "cg.out")
        done = subprocess.run(
            ["valgrind", "--tool=callgrind", "--dump-before=getppid", f"--callgrind-out-file={out}",
             python, str(Path(tmp, "driver.py")), str(Path(tmp, "plan.json"))],
            capture_output=True, text=True, env=module_env(dict(os.environ, PYTHONHASHSEED="0"), path))
        if done.returncode != 0:
            raise RuntimeError(f"callgrind failed:\n{done.stderr[-3000:]}")
        # Dump k holds what ran since dump k - 1; dump 1 is start-up and the first setup.
        totals = {}
        for dump in Path(tmp).glob("cg.out.*"):
            totals[int(dump.suffix[1:])] = int(re.search(r"^totals: (\d+)", dump.read_text(), re.M).group(1))
        for i, (case, step) in enumerate(zip(counted, plan)):
            once, twice = totals[3 * i + 2], totals[3 * i + 3]
            case.instructions = (twice - once) / (step["n"] * step["per"])


def module_env(env, path):
    """`env` with `path` alone on PYTHONPATH, or with no PYTHONPATH when it is None."""
    env = {k: v for k, v in env.items() if k != "PYTHONPATH"}
    return dict(env, PYTHONPATH=str(path)) if path else env


# The released wheel against the local build: the same statement timed in a
# fresh interpreter for each, alternated round by round; the wheel's folder
# goes first on the module path. Each prints where its module came from.
WHEEL_STMT = 'Version("1.2.3-rc.1")'
WHEEL_SCRIPT = """
import sys, time, timeit
import vorna
Version = vorna.package.version.Version
timer = timeit.Timer({stmt!r}, timer=time.thread_time, globals=globals())
n = int(sys.argv[1])
timer.timeit(n // 10)
print(vorna.__file__)
print(repr(timer.timeit(n) / n))
"""


def wheel_measure(python, wheel_dir, namespace, rounds, budget, count):
    """`Version("1.2.3-rc.1")` of the wheel installed in `wheel_dir` / of the local build."""
    wheel = Case("vorna wheel", f"{WHEEL_STMT}, released wheel", WHEEL_STMT)
    local = Case("vorna", f"{WHEEL_STMT}, local build", WHEEL_STMT)
    number = calibrate(timeit.Timer(WHEEL_STMT, timer=time.thread_time, globals=namespace), budget)
    script = WHEEL_SCRIPT.format(stmt=WHEEL_STMT)
    seconds = {id(wheel): [], id(local): []}
    for r in range(2 * rounds):
        for case in (wheel, local) if r % 2 == 0 else (local, wheel):
            path = wheel_dir if case is wheel else None
            done = subprocess.run([python, "-c", script, str(number)], capture_output=True, text=True, check=True,
                                  env=module_env(os.environ, path))
            where, took = done.stdout.split("\n")[:2]
            if Path(where).resolve().is_relative_to(wheel_dir.resolve()) != (case is wheel):
                raise RuntimeError(f"{case.label} imported {where}")
            seconds[id(case)].append(float(took))
    for case in (wheel, local):
        case.ns = statistics.median(seconds[id(case)]) * 1e9
        case.to_vorna = median_ratio(seconds[id(case)], seconds[id(local)])
    if count:
        callgrind_counts([wheel], python, wheel_dir)
        callgrind_counts([local], python)
    measure = Measure(f"`{WHEEL_STMT}`, released wheel / local build", [wheel, local], ("<=", 1.05))
    measure.ratio = wheel.to_vorna
    return measure


MEMORY_SCRIPT = """
import sys
{prelude}
N = int(sys.argv[1])
PAGE = {page}
def resident():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE
text = {text!r}
a, b, c = 1, 2, 3
make = lambda: {expr}
make()
before = resident()
kept = [None] * N
for i in range(N):
    kept[i] = make()
print((resident() - before) / N)
"""

MEMORY_ROWS = [
    # (row, library, label, text, expression, needs)
    ("1.2.3", "vorna", 'Version("1.2.3")', "1.2.3", "Version(text)", None),
    ("1.2.3", "tuples", "tuple of three ints", "", "(a, b, c)", None),
    ("1.2.3", "vorna SemVer", 'SemVer("1.2.3")', "1.2.3", "SemVer(text)", None),
    ("1.2.3", "packaging", 'packaging Version("1.2.3")', "1.2.3", "PV(text)", "PV"),
    ("1.2.3", "pep440_rs", 'pep440_rs Version("1.2.3")', "1.2.3", "RV(text)", "RV"),
    ("1.2.3", "semver", 'semver.Version.parse("1.2.3")', "1.2.3", "SV(text)", "SV"),
    ("1.2.3-rc.1", "vorna", 'Version("1.2.3-rc.1")', "1.2.3-rc.1", "Version(text)", None),
    ("1.2.3-rc.1", "vorna SemVer", 'SemVer("1.2.3-rc.1")', "1.2.3-rc.1", "SemVer(text)", None),
    ("1.2.3-rc.1", "packaging", 'packaging Version("1.2.3rc1")', "1.2.3rc1", "PV(text)", "PV"),
    ("1.2.3-rc.1", "pep440_rs", 'pep440_rs Version("1.2.3rc1")', "1.2.3rc1", "RV(text)", "RV"),
    ("1.2.3-rc.1", "semver", 'semver.Version.parse("1.2.3-rc.1")', "1.2.3-rc.1", "SV(text)", "SV"),
]
MEMORY_GOALS = {
    "1.2.3": ("resident bytes per kept `Version(\"1.2.3\")`", ("<=", 64)),
    "1.2.3-rc.1": ("resident bytes per kept `Version(\"1.2.3-rc.1\")`", ("<=", 73)),
}


def memory_rows(python, count, namespace):
    rows = []
    for row, lib, label, text, expr, needs in MEMORY_ROWS:
        if needs and needs not in namespace:
            continue
        prelude = PRELUDE + (PEER_IMPORTS[needs] if needs else "")
        script = MEMORY_SCRIPT.format(prelude=prelude, page=os.sysconf("SC_PAGE_SIZE"), text=text, expr=expr)
        out = subprocess.run([python, "-c", script, str(count)], capture_output=True, text=True, check=True)
        rows.append((row, lib, label, float(out.stdout.strip())))
    return rows


IMPORTS = [("vorna", "vorna"), ("packaging", "packaging.version"), ("pep440_rs", "pep440_rs"),
           ("semver", "semver")]


def import_times(python, rounds, namespace):
    """Self and cumulative microseconds of each module's own importtime line,
    and the self times of all the modules the import loads, summed.

    importtime reads the wall clock, which preemption on a shared machine only
    ever lengthens: the least of many fresh imports is the figure, and the
    ratio is that of the least sums of the self times of the modules each
    import loads (for `packaging.version`: its package, itself and the
    standard modules it pulls in; for vorna: the extension, which makes its
    submodules itself).
    """
    available = [(lib, mod) for lib, mod in IMPORTS
                 if lib == "vorna" or {"packaging": "PV", "pep440_rs": "RV", "semver": "SV"}[lib] in namespace]
    times = {mod: [] for _, mod in available}
    loaded = {mod: [] for _, mod in available}
    for r in range(rounds + 1):  # the first round only warms the page cache
        order = available[r % len(available):] + available[: r % len(available)]
        for _, mod in order:
            err = subprocess.run([python, "-X", "importtime", "-c", f"import {mod}"],
                                 capture_output=True, text=True, check=True).stderr
            line = re.search(rf"import time:\s+(\d+) \|\s+(\d+) \|\s*{re.escape(mod)}\s*$", err, re.M)
            # Start-up's imports end with `site`; what follows is the import's.
            own = err[err.rindex("| site\n") + len("| site\n"):]
            if r:
                times[mod].append((int(line.group(1)), int(line.group(2))))
                loaded[mod].append(sum(int(m) for m in re.findall(r"^import time:\s+(\d+) \|", own, re.M)))
    table = {mod: (min(s for s, _ in t), min(c for _, c in t), min(loaded[mod])) for mod, t in times.items()}
    ratio = table["vorna"][2] / table["packaging.version"][2] if "packaging.version" in table else None
    return table, ratio

