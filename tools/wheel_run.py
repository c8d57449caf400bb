"""Installs a wheel into a fresh virtualenv of its interpreter and runs the
Python suite there (tools/build_wheels.py): an interpreter of this machine,
or one of a Debian root started through tools/root_python.sh (under qemu-user
for arm64)."""
import shlex
import shutil
import signal
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

from steps import run, run_shown

TOOLS = Path(__file__).resolve().parent


def root_python(root, version, *args, argv0=None):
    return [TOOLS / "root_python.sh", *(["--argv0", argv0] if argv0 else []), root, f"python{version}", *args]


def make_venv(venv, version, how):
    kind, where = how
    if kind == "native":
        run_shown([where, "-m", "venv", "--without-pip", venv])
        return
    run_shown(root_python(where, version, "-m", "venv", "--without-pip", venv))
    # The virtualenv's interpreter comes back through root_python.sh.
    exe = venv / "bin" / f"python{version}"
    exe.unlink()
    parts = root_python(where, version, argv0="$0")
    command = " ".join('"$0"' if str(p) == "$0" else shlex.quote(str(p)) for p in parts)
    exe.write_text(f'#!/bin/sh\nexec {command} "$@"\n')
    exe.chmod(0o755)


def terminal_outcomes(results):
    """'; terminal tests: 2 passed' (or what became of them) from pytest's
    JUnit report, for the tests that run on a terminal (named so): they skip
    where no pseudo-terminal can be opened, which a count of skips would hide."""
    try:
        cases = ElementTree.parse(results).getroot().iter("testcase")
    except (OSError, ElementTree.ParseError):
        return ""
    outcomes = {}
    for case in cases:
        if "on_a_terminal" not in case.get("name", ""):
            continue
        outcome = next((child.tag for child in case if child.tag in ("skipped", "failure", "error")), "passed")
        outcomes[outcome] = outcomes.get(outcome, 0) + 1
    return "; terminal tests: " + ", ".join(f"{n} {outcome}" for outcome, n in sorted(outcomes.items())) if outcomes else ""


def test_wheel(wheel, version, how, emulated, venv, suite):
    """Runs `suite` against `wheel` in a fresh virtualenv at `venv`: (passed, pytest's summary line)."""
    shutil.rmtree(venv, ignore_errors=True)
    make_venv(venv, version, how)
    python = venv / "bin/python"
    # This pip, run by the target interpreter: a root's ensurepip would look for
    # its wheels in this machine's /usr/share. One pip run: each is minutes under qemu.
    run_shown([sys.executable, "-m", "pip", "--python", python, "install", "-q", "--disable-pip-version-check",
               "pytest>=7", wheel])
    probe = "import platform; print('CPython', platform.python_version(), *platform.libc_ver())"
    interpreter = run_shown([python, "-c", probe]).strip()
    select = ["-m", "not stress"] if emulated else []
    # From a folder outside the sources, so that only the installed module is found.
    # SIGINT back at its default: a shell without job control starts background
    # commands with it ignored, which the children of the signal tests inherit.
    # A root's interpreter opens the root's /dev/ptmx: the terminal tests need
    # a devpts mounted there for the run.
    kind, where = how
    terminals = [TOOLS / "root_terminal.sh", where, "--"] if kind == "root" else []
    results = venv / "results.xml"
    result = run([*terminals, python, "-m", "pytest", "-q", "-p", "no:cacheprovider", f"--junitxml={results}", *select,
                  suite], cwd=venv, capture_output=True, text=True, check=False,
                 preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    lines = [line for line in result.stdout.splitlines() if line.strip()]
    summary = lines[-1].strip("= ") if lines else "(no output)"
    summary += terminal_outcomes(results)
    if result.returncode != 0:
        print(result.stdout[-6000:], result.stderr[-3000:], flush=True)
    shutil.rmtree(venv, ignore_errors=True)
    return result.returncode == 0, f"{interpreter}: {summary}"
