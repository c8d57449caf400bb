"""Whether a module built against one architecture's CPython headers is built
as it would be against another's, for the aarch64 wheels whose own headers are
out of reach (those are built against pyenv's x86_64 headers).

The two architectures' pyconfig.h are compared where Debian has both (amd64
and arm64 of the same CPython and the same configure, so that each difference
is the architecture's). Those differences are written into the pyconfig.h of
the headers a wheel is built against, and Python.h is preprocessed both ways
by the wheel's own compiler, macro definitions kept (-dD). Every line that
differs outside pyconfig.h must name something of its own (a macro, a
function, a variable that no common line names), and neither those names nor
the differing pyconfig.h macros may occur in the module's sources. A
difference that names nothing of its own is never taken as unseen.
"""
import re
import shutil
from pathlib import Path

from steps import run

DEFINE = re.compile(r"^#\s*(define|undef)\s+(\w+)(?:\s+(.*?))?\s*$")
LINE_MARKER = re.compile(r'^# \d+ "(.*)"')
NAME = re.compile(r"[A-Za-z_]\w*")


def macros(text):
    """The macros a pyconfig.h defines, by name: their values ("" for none)."""
    found = {}
    for line in text.splitlines():
        match = DEFINE.match(line)
        if match and match.group(1) == "define":
            found[match.group(2)] = match.group(3) or ""
        elif match:
            found.pop(match.group(2), None)
    return found


def differences(amd64_text, arm64_text):
    """Name -> arm64's value (None where arm64 leaves it undefined), for every
    macro the two define differently."""
    amd64, arm64 = macros(amd64_text), macros(arm64_text)
    return {name: arm64.get(name) for name in amd64.keys() | arm64.keys() if amd64.get(name) != arm64.get(name)}


def with_values(text, changes):
    """`text` (a pyconfig.h) with the macros of `changes` set to their values."""
    lines = [line for line in text.splitlines() if not ((m := DEFINE.match(line)) and m.group(2) in changes)]
    lines += [f"#define {name} {value}".rstrip() for name, value in sorted(changes.items()) if value is not None]
    return "\n".join(lines) + "\n"


def seen(include, pyconfig_text, compiler, scratch):
    """The lines of Python.h preprocessed against `include` with `pyconfig_text`
    as its pyconfig.h, macro definitions kept, those of pyconfig.h itself left out.
    Always staged at `scratch`, so that two runs differ only by the headers."""
    shutil.rmtree(scratch, ignore_errors=True)
    shutil.copytree(include, scratch, symlinks=False)
    (scratch / "pyconfig.h").write_text(pyconfig_text)
    out = run([compiler, "-std=c++20", "-DNDEBUG", "-E", "-dD", "-x", "c++", "-I", scratch, "-"],
              input="#include <Python.h>\n", capture_output=True, text=True).stdout
    lines, current = [], ""
    for line in out.splitlines():
        marker = LINE_MARKER.match(line)
        if marker:
            current = marker.group(1)
        elif line.strip() and not current.endswith("/pyconfig.h"):
            lines.append(line)
    return lines


def unseen_problems(base, other, changed, used):
    """What of the difference between two preprocessed outputs a module whose
    sources name `used` could see; empty when nothing."""
    common = set(base) & set(other)
    common_names = set(NAME.findall("\n".join(common)))
    problems = [f"{name} (a pyconfig.h macro) is used by the module" for name in sorted(set(changed) & used)]
    for line in sorted(set(base) ^ set(other)):
        own = set(NAME.findall(line)) - common_names
        if not own:
            problems.append(f"a difference that names nothing of its own: {line.strip()}")
        problems += [f"{name} is used by the module: {line.strip()}" for name in sorted(own & used)]
    return problems


def source_names(sources):
    names = set()
    for path in sources.rglob("*"):
        if path.suffix in {".cpp", ".hpp", ".h", ".inc"}:
            names.update(NAME.findall(path.read_text(errors="replace")))
    return names


def check(include, references, compiler, sources, scratch):
    """Whether a module built from `sources` against `include` (x86_64's
    headers) by `compiler` is built as against arm64's, going by the
    differences of each reference (label, amd64 pyconfig.h, arm64 pyconfig.h).
    Returns (what was compared, problems)."""
    used = source_names(sources)
    pyconfig = (include / "pyconfig.h").read_text()
    base = seen(include, pyconfig, compiler, scratch)
    report, problems = [], []
    for label, amd64_file, arm64_file in references:
        changed = differences(Path(amd64_file).read_text(), Path(arm64_file).read_text())
        report.append(f"pyconfig.h of {label}, amd64 against arm64: {', '.join(sorted(changed)) or 'the same'}")
        other = seen(include, with_values(pyconfig, changed), compiler, scratch)
        problems += [f"{label}'s differences: {p}" for p in unseen_problems(base, other, changed, used)]
    shutil.rmtree(scratch, ignore_errors=True)
    return report, problems
