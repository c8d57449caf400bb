"""Plants faults one at a time in the lines a change touched and runs the
suites against each: a fault that every test lets pass (a survivor) is a
hole in the tests, found before the change lands. For contributors, not CI:
`make mutate` runs it.

    python tools/mutate.py [--base REF] [--files F,...] [--lines F:A-B,...] [-n N] [--seed S]
                           [--mutant F:LINE#K] [--keep] [--list] [--venv DIR] [--jobs J]

The lines: by default those of src/ that differ from the merge base with main
(committed or not); --files takes whole files, --lines ranges of lines. Only
the C++ of the Linux build is mutated: generated tables, Windows-only files,
the wheel's glibc binding and lines under a preprocessor condition that the
build on CPython 3.9 leaves out are skipped.

The faults, one line each: a comparison flipped (`<` to `>=`) or moved by one
(`<` to `<=`); `true` and `false` swapped, a bool function's result negated;
an integer constant or an index off by one; a statement (a call or an
assignment) deleted; `&&` and `||` swapped; a return with the success value
(nothing, true or 0) before a statement. N of them (20 by default) are drawn
with a printed seed, spread over the lines before a line gets a second.

Each is applied alone, then: if the C++ build compiles its file, the C++
build folder is rebuilt incrementally (build/cpp, `make cpp-test`'s) and,
if that compiled anything, the C++ suite runs; if it passes, the extension is rebuilt as `make install` builds it
(warnings as errors, the fault hooks) in build/mutate/extension, into a
virtualenv of its own (.venv-mutate by default, which nothing else uses),
and the Python suite runs there on CPython 3.9, stopping at the first
failure. Both builds are brought up to date before the first fault. Each step has a timeout. A fault
that a compiler refuses, -Werror included, did not compile; one that a suite
fails is killed; one that outlives a timeout timed out. The score is
(killed + timed out) / (killed + timed out + survived).

The file is restored after each fault whatever happens: on an error, Ctrl-C,
SIGTERM or SIGHUP; after a SIGKILL, the next run restores it first (from
build/mutate/pending). --keep stops at the first survivor and leaves it
applied; the next run, or `git checkout FILE`, takes it back. --mutant runs
the one fault a report names (as its reproduce line does).
"""
import argparse
import fcntl
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
STATE = ROOT / "build" / "mutate"
PENDING = STATE / "pending.json"  # the file under a fault, and its own text

# Never mutated: not part of the Linux build the suites run against.
SKIPPED_FILES = [
    (re.compile(r"_windows\.(cpp|hpp)$|/windows\.hpp$"), "Windows only"),
    (re.compile(r"^src/glibc_compat/"), "only in the wheel's build"),
    (re.compile(r"\.inc$"), "generated"),
]
SOURCE = re.compile(r"^src/.*\.(cpp|hpp|h)$")

# Preprocessor names as the test build on CPython 3.9 (gcc, Linux, x86_64)
# sees them: True defined, False not; any other name may go either way.
MACROS = {
    "__linux__": True, "__unix__": True, "__GNUC__": True, "__GLIBC__": True, "__x86_64__": True,
    "__cplusplus": True, "VORNA_TEST_HOOKS": True, "VORNA_CHECK_INVARIANTS": True,
    "_WIN32": False, "_WIN64": False, "_MSC_VER": False, "__APPLE__": False, "__MACH__": False,
    "__MINGW32__": False, "__MINGW64__": False, "__CYGWIN__": False, "__FreeBSD__": False,
    "__OpenBSD__": False, "__NetBSD__": False, "__aarch64__": False, "__clang__": False,
    "_LIBCPP_VERSION": False, "Py_GIL_DISABLED": False, "Py_DEBUG": False, "VORNA_GLIBC_2_17": False,
}
NUMBERS = {"PY_VERSION_HEX": 0x030900F0}


class Interrupted(Exception):
    pass


# --- reading C++ a line at a time ---------------------------------------------


def masked_lines(text):
    """The file's lines with comments, string and character literals blanked
    (same length), so that the operators match code only."""
    out, in_block = [], False
    for line in text.split("\n"):
        chars, i, n = list(line), 0, len(line)
        while i < n:
            if in_block:
                end = line.find("*/", i)
                stop = n if end < 0 else end + 2
                chars[i:stop] = " " * (stop - i)
                in_block, i = end < 0, stop
            elif line.startswith("//", i):
                chars[i:] = " " * (n - i)
                break
            elif line.startswith("/*", i):
                in_block = True
            elif line[i] == "'" and i and line[i - 1].isalnum() and line[i + 1:i + 2].isalnum() and not re.search(r"\b(u8|u|U|L)$", line[:i]):
                i += 1  # a digit separator
            elif line[i] in "\"'":
                raw = line[i] == '"' and re.search(r'R$', line[:i]) and re.match(r'"([^(\s]*)\(', line[i:])
                if raw:  # R"delim( ... )delim" on one line
                    end = line.find(f"){raw.group(1)}\"", i)
                    stop = n if end < 0 else end + len(raw.group(1)) + 2
                else:
                    quote, j = line[i], i + 1
                    while j < n and line[j] != quote:
                        j += 2 if line[j] == "\\" else 1
                    stop = min(j + 1, n)
                # Keep the quotes: an emptied literal still reads as an operand.
                chars[i + 1:stop - 1] = " " * max(0, stop - i - 2)
                i = stop
            else:
                i += 1
        out.append("".join(chars))
    return out


def condition_value(expr):
    """True, False or None (may go either way) for an #if expression."""
    expr = re.sub(r"defined\s*\(\s*(\w+)\s*\)|defined\s+(\w+)",
                  lambda m: {True: " 1 ", False: " 0 "}.get(MACROS.get(m.group(1) or m.group(2)), " X "), expr)
    for name, value in NUMBERS.items():
        expr = re.sub(rf"\b{name}\b", str(value), expr)
    expr = re.sub(r"\b(0[xX][0-9a-fA-F]+|\d+)[uUlL]*\b", lambda m: str(int(m.group(1), 0)), expr)
    expr = re.sub(r"\b[A-Za-z_]\w*\b", lambda m: {True: "1", False: "0"}.get(MACROS.get(m.group(0)), "X"), expr)
    if "X" in expr:
        return None
    expr = expr.replace("&&", " and ").replace("||", " or ").replace("!", " not ").replace(" not =", "!=")
    try:
        return bool(eval(expr, {"__builtins__": {}}))  # digits, comparisons and and/or/not only
    except Exception:
        return None


def compiled_lines(masked):
    """The set of line numbers (1-based) that the Linux build may compile."""
    kept, stack = set(), []  # stack of [this branch's value, a branch already taken]
    for number, line in enumerate(masked, 1):
        directive = re.match(r"\s*#\s*(\w+)\s*(.*)", line)
        if directive:
            word, rest = directive.groups()
            if word in ("if", "ifdef", "ifndef"):
                value = condition_value(rest if word == "if" else ("!" if word == "ifndef" else "") + f"defined({rest.strip()})")
                stack.append([value, value is True])
            elif word == "elif" and stack:
                value = False if stack[-1][1] else condition_value(rest)
                stack[-1] = [value, stack[-1][1] or value is True]
            elif word == "else" and stack:
                value = False if stack[-1][1] else (None if stack[-1][0] is None else not stack[-1][0])
                stack[-1] = [value, True]
            elif word == "endif" and stack:
                stack.pop()
            continue
        if all(value is not False for value, _taken in stack):
            kept.add(number)
    return kept


@dataclass
class Mutant:
    path: str  # relative to the repository
    line: int
    index: int  # among the line's faults, in the order they are found
    kind: str
    before: str  # the whole line
    after: str

    @property
    def name(self):
        return f"{self.path}:{self.line}#{self.index}"

    def change(self):
        return f"{self.before.strip()}  ->  {self.after.strip()}"


COMPARISONS = {"==": ["!="], "!=": ["=="], "<=": ["<", ">"], ">=": [">", "<"], "<": ["<=", ">="], ">": [">=", "<="]}
INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|\d[\d']*)([uUlLzZ]*)(?![\w.'])")
STATEMENT_START = re.compile(r"^(?!\s*((return|case|default|else|do|goto|break|continue|throw|if|for|while|switch|try|catch)\b|co_))")
CALL = re.compile(r"^\s*[\w:.>\-\[\]*()]*\w\s*(<[^;]*>)?\s*\(.*\)\s*;\s*$")
ASSIGNMENT = re.compile(r"^\s*(\+\+|--)?[\w.\->\[\]*]+(\+\+|--)?\s*([-+*/%&|^]|<<|>>)?=?[^=]?.*;\s*$")
SIMPLE_ASSIGNMENT = re.compile(r"^\s*[*]?[\w.\->\[\]]+\s*(?:[-+*/%&|^]|<<|>>)?=(?!=)|^\s*(\+\+|--)[\w.\->]+\s*;|^\s*[\w.\->]+(\+\+|--)\s*;")
CONTROL = re.compile(r"\b(if|for|while|switch|catch|return|sizeof|alignof|decltype|noexcept)\s*$")


def function_results(masked):
    """For each line inside a function body, the success value of a return there
    ("" for void, "true", "0"), or None when the result type is another."""
    text = "\n".join(masked)
    starts = [0]
    for line in masked:
        starts.append(starts[-1] + len(line) + 1)
    result = {}
    depth, bodies = 0, []  # bodies: (depth of the body, success value)
    head_start = 0
    line_of = lambda pos: next(i for i in range(len(starts) - 1) if starts[i] <= pos < starts[i + 1]) + 1
    spans = []
    for pos, ch in enumerate(text):
        if ch == "{":
            head = text[head_start:pos]
            value = function_head(head)
            depth += 1
            if value is not False and not bodies:
                bodies.append((depth, value, pos))
            elif LAMBDA.search(" ".join(head.split())):  # its own returns: none planted there
                bodies.append((depth, None, pos))
            head_start = pos + 1
        elif ch == "}":
            if bodies and bodies[-1][0] == depth:
                _d, value, begin = bodies.pop()
                spans.append((line_of(begin) + 1, line_of(pos) - 1, value))
            depth -= 1
            head_start = pos + 1
        elif ch == ";":
            head_start = pos + 1
    # The innermost span last, so that a lambda's lines are its own.
    for first, last, value in sorted(spans, key=lambda span: span[0] - span[1]):
        for number in range(first, last + 1):
            result[number] = value
    return result


LAMBDA = re.compile(r"(^|[^\w\]\s])\s*\[[^\[\]]*\]\s*(<[^>]*>\s*)?(\([^)]*\))?[^;{}]*$")


def function_head(head):
    """The success value of the function whose body a `{` after `head` opens,
    None for a function of another result type, False when it opens no function."""
    head = re.sub(r"#[^\n]*", "", head)  # preprocessor lines
    flat = " ".join(head.split())
    if not flat.endswith((")", "const", "noexcept", "override", "final")) and not re.search(r"\)\s*(const|noexcept|override|final|\s|->[\w:<>*& ]+)*$", flat):
        # A constructor's initialiser list ends in `)` or `}` too; no other head is a function.
        if not re.search(r"\)\s*:\s*.*[)}]$", flat):
            return False
    if LAMBDA.search(flat):
        return False
    name_call = re.match(r"(.*?)([~\w:]+)\s*\(", flat)
    if not name_call:
        return False
    before, name = name_call.groups()
    if CONTROL.search(before + name) or name.split("::")[-1] in ("if", "for", "while", "switch", "catch"):
        return False
    before = re.sub(r"\b(public|private|protected)\s*:", " ", before)
    before = re.sub(r"\btemplate\s*<[^>]*>|\[\[[^\]]*\]\]|\b(static|inline|constexpr|consteval|virtual|explicit|friend|extern|\"C\")\b", " ", before)
    result = " ".join(before.split())
    if result in ("", "void"):  # a constructor, destructor or void function
        return ""
    if result == "bool":
        return "true"
    if result == "int":
        return "0"
    return None


def line_mutants(path, number, original, code, success):
    """The faults for one line: (kind, new line), each a change of `original`
    at the places `code` (the masked line) shows code."""
    found = []

    def at(start, end, text, kind):
        found.append((kind, original[:start] + text + original[end:]))

    for m in re.finditer(r"(?<![<>=!&|+\-*/%^])(==|!=|<=|>=)(?![=>])|(?<=\s)(<|>)(?=\s)", code):
        op = m.group(0)
        if code[:m.start()].rstrip().endswith("operator") or (op in "<>" and re.search(r"\btemplate\s*$", code[:m.start()])):
            continue
        for other in COMPARISONS[op]:
            at(m.start(), m.end(), other, "comparison")
    for m in re.finditer(r"\b(true|false)\b", code):
        at(m.start(), m.end(), "false" if m.group(0) == "true" else "true", "constant")
    if success == "true":
        m = re.match(r"(\s*return\s+)(.+?)(\s*;\s*)$", code)
        if m and m.group(2) not in ("true", "false"):
            at(m.end(1), m.end(2), f"!({original[m.end(1):m.end(2)]})", "bool result")
    for m in INTEGER.finditer(code):
        if re.search(r"(#\s*\w+|\boperator\s*\"\"|\bstd::get\s*<|\b(alignas|template)\b.*)$", code[:m.start()]):
            continue
        if re.search(r"\[\s*$", code[:m.start()]) and re.match(r"\s*\]", code[m.end():]) and re.search(r"\b[A-Za-z_]\w*\s+\w+\s*\[\s*$", code[:m.start()]):
            continue  # an array's size in its declaration: the compiler checks its initialiser
        value = int(m.group(1).replace("'", ""), 0)
        for new in (value + 1, value - 1):
            if new < 0:
                continue
            text = hex(new) if m.group(1).lower().startswith("0x") else str(new)
            at(m.start(), m.end(), text + m.group(2), "off by one")
    for m in re.finditer(r"(?<=[\w)\]])\[([^\[\]]+)\]", code):
        inner = m.group(1)
        if INTEGER.fullmatch(inner.strip()) or not re.search(r"\w", inner) or "=" in inner.replace("==", ""):
            continue
        declared = re.search(r"\b([A-Za-z_][\w:<>]*)[\s*&]+\w+$", code[:m.start()])
        if declared and declared.group(1) not in ("return", "case", "delete", "throw", "co_return"):
            continue  # an array's size where it is declared
        at(m.end(1), m.end(1), " + 1", "index off by one")
    for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", code):
        at(m.start(), m.end(), "||" if m.group(0) == "&&" else "&&", "logic")
    stripped = code.strip()
    starts_statement = STATEMENT_START.match(code) and stripped.endswith(";") and stripped.count("(") == stripped.count(")")
    if starts_statement and (SIMPLE_ASSIGNMENT.match(code) or (CALL.match(code) and not re.match(r"\s*[\w:<>]+\s+[\w*&]+\s*\(", code))):
        if not re.match(r"\s*(static_assert|using|typedef|friend|template|struct|class|enum|namespace)\b", code):
            indent = original[:len(original) - len(original.lstrip())]
            found.append(("statement deleted", f"{indent};"))
    if success is not None and stripped and re.match(r"(?!\s*(case|default|else|catch)\b)", code) and not stripped.startswith(("}", "{", ".", "?", ":", "<<", "&&", "||", "+", "-", ",", ")", "#")):
        indent = original[:len(original) - len(original.lstrip())]
        early = f"return{' ' + success if success else ''};"
        if " ".join(stripped.split()) != early:
            found.append(("early return", f"{indent}{early} {original.lstrip()}"))
    return found


def mutants_of(path, wanted_lines=None):
    """Every fault on the wanted lines (all lines when None) of one file."""
    text = (ROOT / path).read_text(encoding="utf-8")
    if "Generated by" in text[:400]:
        return []
    lines = text.split("\n")
    masked = masked_lines(text)
    compiled = compiled_lines(masked)
    results = function_results(masked)
    previous_end = {}  # the last code character before each line
    last = ";"
    for number, code in enumerate(masked, 1):
        previous_end[number] = last
        stripped = code.strip()
        if stripped and not stripped.startswith("#"):
            last = stripped[-1]
    found = []
    for number, code in enumerate(masked, 1):
        if wanted_lines is not None and number not in wanted_lines:
            continue
        if number not in compiled or not code.strip() or code.lstrip().startswith("#"):
            continue
        if re.match(r"\s*(static_assert|#|template\b|using\b|namespace\b)", code):
            continue
        # A line that continues a statement may take an operator fault, not a
        # deletion or an early return.
        begins = previous_end[number] in ";{}:" and not re.match(r"\s*(public|private|protected)\s*:", code)
        success = results.get(number) if begins else None
        faults = line_mutants(path, number, lines[number - 1], code, success)
        if not begins:
            faults = [f for f in faults if f[0] not in ("statement deleted", "early return")]
        for index, (kind, after) in enumerate(faults):
            found.append(Mutant(path, number, index, kind, lines[number - 1], after))
    return found


# --- choosing the lines -------------------------------------------------------


def git(*args):
    return subprocess.run(["git", *args], cwd=ROOT, check=True, capture_output=True, text=True).stdout


def skip_reason(path):
    for pattern, reason in SKIPPED_FILES:
        if pattern.search(path):
            return reason
    return None if SOURCE.match(path) else "not C++ of src/"


def changed_lines(base):
    """{path: set of line numbers} that differ from the merge base with `base`."""
    merge_base = git("merge-base", "HEAD", base).strip()
    diff = git("diff", "-U0", "--no-color", "--no-ext-diff", merge_base, "--", "src")
    wanted, path = {}, None
    for line in diff.splitlines():
        if line.startswith("+++ "):
            path = None if line == "+++ /dev/null" else line[len("+++ b/"):]
        elif line.startswith("@@") and path:
            m = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", line)
            first, count = int(m.group(1)), int(m.group(2) or 1)
            wanted.setdefault(path, set()).update(range(first, first + count))
    return merge_base, wanted


def parse_lines(text):
    """FILE:LINE or FILE:FIRST-LAST, comma-separated: {file: {line, ...}}."""
    wanted = {}
    for item in filter(None, (s.strip() for s in text.split(","))):
        path, _, lines = item.partition(":")
        first, _, last = lines.partition("-")
        if not first.isdigit() or last and not last.isdigit():
            sys.exit(f"mutate: --lines wants FILE:LINE or FILE:FIRST-LAST, not {item}")
        wanted.setdefault(path, set()).update(range(int(first), int(last or first) + 1))
    return wanted


def draw(candidates, count, rng):
    """`count` faults, spread over the lines: a line gets a second only once
    every line has one."""
    by_line = {}
    for mutant in candidates:
        by_line.setdefault((mutant.path, mutant.line), []).append(mutant)
    for faults in by_line.values():
        rng.shuffle(faults)
    lines = sorted(by_line)
    rng.shuffle(lines)
    chosen = []
    while len(chosen) < count and lines:
        for key in list(lines):
            if len(chosen) == count:
                break
            chosen.append(by_line[key].pop())
            if not by_line[key]:
                lines.remove(key)
    # A file's faults one after another: a header's dependents are then built
    # again once per fault, and once more when the file is whole again, rather
    # than twice per fault.
    return sorted(chosen, key=lambda mutant: (mutant.path, mutant.line, mutant.index))


# --- applying and restoring ---------------------------------------------------


def restore_pending():
    """Puts back a file that a run killed outright left under a fault."""
    if not PENDING.exists():
        return
    pending = json.loads(PENDING.read_text(encoding="utf-8"))
    path = ROOT / pending["path"]
    if path.read_text(encoding="utf-8") == pending["mutated"]:
        write_file(path, pending["original"])
        print(f"mutate: {pending['path']} was left under a fault by an earlier run; restored", flush=True)
    PENDING.unlink()


def write_file(path, text):
    # A new file each time: its time is later than the objects built before,
    # so every incremental build sees the change, the restoring one included.
    temporary = path.with_name(f".{path.name}.mutate")
    temporary.write_text(text, encoding="utf-8")
    os.replace(temporary, path)


class Applied:
    """One fault in its file for the time of a `with`."""

    def __init__(self, mutant, keep=lambda: False):
        self.mutant, self.keep = mutant, keep
        self.path = ROOT / mutant.path

    def __enter__(self):
        self.original = self.path.read_text(encoding="utf-8")
        lines = self.original.split("\n")
        if lines[self.mutant.line - 1] != self.mutant.before:
            raise RuntimeError(f"{self.mutant.path}:{self.mutant.line} changed since the faults were listed")
        lines[self.mutant.line - 1] = self.mutant.after
        mutated = "\n".join(lines)
        STATE.mkdir(parents=True, exist_ok=True)
        # The record first: a run killed outright leaves what the next one restores.
        blocked = signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
        try:
            PENDING.write_text(json.dumps({"path": self.mutant.path, "original": self.original, "mutated": mutated}))
            write_file(self.path, mutated)
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
        return self

    def __exit__(self, *exc):
        # Signals wait until the file is whole again.
        blocked = signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
        try:
            if not self.keep():
                write_file(self.path, self.original)
                PENDING.unlink(missing_ok=True)
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
        return False


STOP_SIGNALS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


def on_stop_signal(number, _frame):
    for other in STOP_SIGNALS:  # a second Ctrl-C must not cut the restoring short
        signal.signal(other, signal.SIG_IGN)
    raise Interrupted(signal.Signals(number).name)


# --- building and testing -----------------------------------------------------


def run_step(command, timeout, env=None):
    """(outcome, seconds, output) with outcome "ok", "failed" or "timeout". The
    command runs in a process group of its own, all of which ends with it, on
    a timeout, or when this run is stopped."""
    started = time.monotonic()
    if not shutil.which(command[0], path=(env or os.environ).get("PATH")):
        return "failed", 0.0, f"{command[0]}: not found"
    child = subprocess.Popen(command, cwd=ROOT, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, start_new_session=True, text=True, errors="replace")
    try:
        output, _ = child.communicate(timeout=timeout)
        outcome = "ok" if child.returncode == 0 else "failed"
    except subprocess.TimeoutExpired:
        outcome, output = "timeout", ""
    finally:
        with_group_ended(child)
    return outcome, time.monotonic() - started, output or ""


def with_group_ended(child):
    # SIGTERM first: ninja runs each compiler in a group of its own and ends
    # them only when it is asked to stop, not when it is killed.
    for number, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, None)):
        try:
            os.killpg(child.pid, number)
        except ProcessLookupError:
            break
        try:
            child.wait(timeout=grace)
            if grace is not None:
                time.sleep(0.2)  # the rest of the group, after its leader
        except subprocess.TimeoutExpired:
            pass
    child.wait()


class Suites:
    def __init__(self, args):
        self.args = args
        self.venv = Path(args.venv).resolve()
        # VORNA_MUTATE_RUN: the suite's test of this script stays out of its runs.
        self.env = dict(os.environ, JOBS=str(args.jobs), PATH=f"{self.venv / 'bin'}:{os.environ['PATH']}",
                        VORNA_MUTATE_RUN="1", INSTALL_BUILD_DIR=str(STATE / "extension" / "{wheel_tag}"))
        jobs = str(args.jobs)
        self.cpp_build = ["cmake", "--build", "--preset", "cpp", "-j", jobs]
        self.cpp_suite = ["ctest", "--preset", "cpp", "-j", jobs, "--stop-on-failure", "--timeout", str(args.cpp_timeout)]
        self.extension = [str(ROOT / "tools" / "install.sh"), str(self.venv)]
        self.python_suite = [str(self.venv / "bin" / "python"), "-m", "pytest", "-q", "-x", "-p", "no:cacheprovider",
                             "tests/python", *args.pytest_args]

    def prepare(self):
        """The C++ build folder made and built from the tree as it is, so that
        each fault pays only for its own rebuild."""
        for command in (["cmake", "--preset", "cpp"], self.cpp_build, self.extension):
            outcome, _s, output = run_step(command, self.args.build_timeout, self.env)
            if outcome != "ok":
                sys.exit(f"mutate: {' '.join(command)} fails without any fault planted:\n{output[-3000:]}")
        # The files the C++ build compiles, as its dependency log has them
        # (None when it cannot be read: every file then goes through it).
        outcome, _s, output = run_step(["ninja", "-C", "build/cpp", "-t", "deps"], 60, self.env)
        files = {Path(line.strip()).resolve() for line in output.splitlines() if line.startswith("    ")}
        self.cpp_files = files if outcome == "ok" and files else None

    def verdict(self, mutant, times):
        """Runs the steps against the tree as it is: (verdict, detail)."""
        build_timeout = self.args.build_timeout
        if self.cpp_files is not None and (ROOT / mutant.path).resolve() not in self.cpp_files:
            # The bindings: only the extension has them.
            return self.extension_verdict(times)
        outcome, seconds, output = run_step(self.cpp_build, build_timeout, self.env)
        times["C++ build"] = seconds
        # A build that outlives its timeout says nothing of the tests: the
        # fault counts as not compiled.
        if outcome == "timeout":
            return "not compiled", "the C++ build outlived its timeout"
        if outcome == "failed":
            return "not compiled", first_error(output)
        if "no work to do" not in output:
            outcome, seconds, output = run_step(self.cpp_suite, self.args.cpp_timeout, self.env)
            times["C++ suite"] = seconds
            if outcome == "timeout" or "***Timeout" in output:
                return "timed out", "the C++ suite"
            if outcome != "ok":
                return "killed", "C++ suite: " + failed_cpp(output)
        return self.extension_verdict(times)

    def extension_verdict(self, times):
        outcome, seconds, output = run_step(self.extension, self.args.build_timeout, self.env)
        times["extension"] = seconds
        if outcome == "timeout":
            return "not compiled", "the extension's build outlived its timeout"
        if outcome == "failed":
            return "not compiled", first_error(output)
        outcome, seconds, output = run_step(self.python_suite, self.args.py_timeout, self.env)
        times["Python suite"] = seconds
        if outcome == "timeout":
            return "timed out", "the Python suite"
        if outcome == "failed":
            return "killed", "Python suite: " + failed_python(output)
        return "survived", ""


def first_error(output):
    lines = [" ".join(line.split()) for line in output.splitlines() if line.strip()]
    for wanted in (r"\berror:", r"\berror\b", r"undefined reference|ld returned"):
        for line in lines:
            if re.search(wanted, line, re.I) and not line.startswith(("ninja:", "FAILED:", "*** ")):
                return line[:200]
    return lines[-1][:200] if lines else "the compiler refused it"


def failed_cpp(output):
    for m in re.finditer(r"Test +#\d+: (\S+) .*$", output, re.M):
        if "Passed" not in m.group(0):
            return m.group(1)
    return "a test failed"


def failed_python(output):
    m = re.search(r"^FAILED (\S+)", output, re.M) or re.search(r"^ERROR (\S+)", output, re.M)
    if m:
        return m.group(1)
    # No summary: the interpreter running the suite ended (a fault report, a crash).
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    return f"the suite's process ended: {lines[-1][:160]}" if lines else "the suite's process ended"


def reproduce(mutant):
    return f"make mutate MUTANT={mutant.name} KEEP=1"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--base", default="main", help="the branch whose merge base the diff is taken from")
    parser.add_argument("--files", default="", help="whole files, comma separated")
    parser.add_argument("--lines", default="", help="FILE:LINE or FILE:FIRST-LAST, comma separated")
    parser.add_argument("--mutant", default="", help="one fault as a report names it, FILE:LINE#K")
    parser.add_argument("-n", type=int, default=20, help="how many faults (default 20)")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--keep", action="store_true", help="stop at the first survivor and leave it applied")
    parser.add_argument("--list", action="store_true", help="print the drawn faults and stop")
    parser.add_argument("--venv", default=str(ROOT / ".venv-mutate"))
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("JOBS", "2")))
    parser.add_argument("--build-timeout", type=float, default=600)
    parser.add_argument("--cpp-timeout", type=float, default=300)
    parser.add_argument("--py-timeout", type=float, default=300)
    parser.add_argument("pytest_args", nargs="*", help="more arguments for pytest, after --")
    args = parser.parse_args()

    for number in STOP_SIGNALS:
        signal.signal(number, on_stop_signal)
    # One run at a time in a checkout: another's fault is not this one's to restore.
    STATE.mkdir(parents=True, exist_ok=True)
    lock = open(STATE / ".lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        if not args.list:
            sys.exit("mutate: another run is under way in this checkout")
    else:
        restore_pending()

    if args.mutant:
        m = re.fullmatch(r"(.+):(\d+)#(\d+)", args.mutant)
        if not m:
            sys.exit(f"mutate: --mutant wants FILE:LINE#K, not {args.mutant}")
        path, line, index = m.group(1), int(m.group(2)), int(m.group(3))
        chosen = [f for f in mutants_of(path, {line}) if f.index == index]
        if not chosen:
            sys.exit(f"mutate: {args.mutant} names no fault (has the line changed?)")
        seed, scope = "(none: one fault named)", args.mutant
    else:
        if args.files or args.lines:
            wanted = {path: None for path in filter(None, (p.strip() for p in args.files.split(",")))}
            wanted.update(parse_lines(args.lines))
            scope = ", ".join(filter(None, [args.files, args.lines]))
        else:
            merge_base, wanted = changed_lines(args.base)
            scope = f"the lines of src/ changed since {merge_base[:10]} (the merge base with {args.base})"
        candidates = []
        for path, lines in sorted(wanted.items()):
            if not (ROOT / path).is_file():
                sys.exit(f"mutate: no file {path}")
            reason = skip_reason(path)
            if reason:
                print(f"mutate: skipping {path}: {reason}")
                continue
            candidates += mutants_of(path, lines)
        seed = args.seed if args.seed is not None else random.randrange(1 << 31)
        chosen = draw(candidates, args.n, random.Random(seed))
        print(f"mutate: seed {seed}; {len(chosen)} of {len(candidates)} faults on {scope}")
    if not args.list and chosen:
        # `git commit -a` meanwhile would take the fault along.
        print("mutate: each fault stays in its file while it is tried: commit nothing until the run ends")
    if args.list:
        for mutant in chosen:
            print(f"  {mutant.name:45} {mutant.kind:18} {mutant.change()}")
        return
    if not chosen:
        print("mutate: no fault to plant (no changed C++ line of the Linux build)")
        return

    suites = Suites(args)
    if not (suites.venv / "pyvenv.cfg").exists():
        sys.exit(f"mutate: no virtualenv {args.venv}; `make mutate` makes it")
    results = []
    started = time.monotonic()
    stopped = None
    kept = []
    try:
        suites.prepare()
        started = time.monotonic()
        for number, mutant in enumerate(chosen, 1):
            times = {}
            begun = time.monotonic()
            survived = []
            with Applied(mutant, keep=lambda: args.keep and bool(survived)):
                print(f"[{number}/{len(chosen)}] {mutant.name} ({mutant.kind}): {mutant.change()}", flush=True)
                verdict, detail = suites.verdict(mutant, times)
                if verdict == "survived":
                    survived.append(mutant)
            spent = ", ".join(f"{step} {seconds:.0f} s" for step, seconds in times.items())
            print(f"    {verdict.upper()}{': ' + detail if detail else ''}  [{time.monotonic() - begun:.0f} s: {spent}]",
                  flush=True)
            results.append((mutant, verdict))
            if survived and args.keep:
                kept.append(mutant)
                break
    except Interrupted as signal_name:
        stopped = str(signal_name)
    finally:
        # Nothing of the run is left behind but a kept survivor.
        if not kept:
            restore_pending()
    report(args, seed, results, time.monotonic() - started, stopped, kept)
    if stopped:
        sys.exit(130 if stopped == "SIGINT" else 143)


def report(args, seed, results, seconds, stopped, kept):
    counts = {v: sum(1 for _m, verdict in results if verdict == v) for v in ("killed", "survived", "not compiled", "timed out")}
    caught = counts["killed"] + counts["timed out"]
    judged = caught + counts["survived"]
    score = f"{caught}/{judged} = {100 * caught / judged:.0f}%" if judged else "none judged"
    print()
    if stopped:
        print(f"mutate: stopped by {stopped} after {len(results)} faults; the tree is as it was")
    print(f"mutate: seed {seed}; {len(results)} faults in {seconds / 60:.1f} min "
          f"({seconds / max(len(results), 1):.0f} s each): killed {counts['killed']}, survived {counts['survived']}, "
          f"not compiled {counts['not compiled']}, timed out {counts['timed out']}; score {score}")
    for mutant, verdict in results:
        if verdict == "survived":
            print(f"  survived {mutant.path}:{mutant.line}: {mutant.change()}")
            print(f"      {reproduce(mutant)}")
    for mutant in kept:
        print(f"mutate: {mutant.path} keeps the survivor; `git checkout {mutant.path}` or the next run takes it back")


if __name__ == "__main__":
    main()
