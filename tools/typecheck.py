"""Checks the installed type stubs of vorna against the runtime and against user code.

1. stubtest on vorna and its submodules, against the same declarations rendered as
   a tree of stub modules (the shipped stub describes each submodule as a class,
   which stubtest cannot compare with a module);
2. mypy --strict, basedpyright (strict) and ty on the tour, the python code blocks of
   the README and of the package description, and tests/typing/bind_once.py: no
   diagnostic at all;
3. the same three on tests/typing/misuse.py: a diagnostic on each line marked
   as a type error and on no other line.

Run with the interpreter whose environment has vorna and the three checkers installed
(make typecheck).
"""
from __future__ import annotations

import json
import os
import re
import subprocess
import sys
import sysconfig
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import gen_stubs  # noqa: E402

REPO = Path(__file__).resolve().parent.parent
SAMPLES = REPO / "tests" / "typing"
SCRIPTS = Path(sysconfig.get_path("scripts"))
# The comment that marks a line of misuse.py a type checker must flag.
MARK = re.compile(r"  # type error: (\w+)$")

# stubtest imports every module it checks, but the submodules are attributes
# only: this runner registers each under the name of its stub module first.
STUBTEST = """\
import json, sys
import vorna
for stub_name, path in json.loads(sys.argv.pop(1)).items():
    module = vorna
    for name in path.split(".")[1:]:
        module = getattr(module, name)
    sys.modules[stub_name] = module
from mypy.stubtest import main
sys.exit(main())
"""

# Each checker: its command line (files appended) and the pattern of one
# diagnostic line, whose groups are the file and the line number.
CHECKERS = {
    "mypy --strict": (
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--no-error-summary"],
        re.compile(r"^(\S+?):(\d+): error:"),
    ),
    "basedpyright (strict)": (
        [str(SCRIPTS / "basedpyright"), "--pythonpath", sys.executable, "--warnings"],
        re.compile(r"^\s*(\S+?):(\d+):\d+ - (?:error|warning):"),
    ),
    "ty": (
        [str(SCRIPTS / "ty"), "check", "--python", sys.executable, "--error-on-warning", "--output-format", "concise",
         "--no-progress"],
        re.compile(r"^(\S+?):(\d+):\d+: (?:error|warning)"),
    ),
}


def run(title, command, cwd, quiet=False, env=None):
    """Runs `command`, showing its output unless `quiet` (the caller then judges it)."""
    print(f"--- {title}", flush=True)
    print("$ " + " ".join(str(part) for part in command), flush=True)
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
    if not quiet:
        print(result.stdout, end="", flush=True)
    return result


def page_examples(page: Path) -> str:
    """A Markdown page's Python code blocks, in order, as one module. A block written as an
    interactive session contributes the source lines after its prompts."""
    blocks = re.findall(r"^```(?:python|py|pycon)\n(.*?)^```", page.read_text(encoding="utf-8"), re.M | re.S)
    # In a session a bare expression shows its value: it is not unused.
    sources = ["# pyright: reportUnusedExpression=false\n"]
    for block in blocks:
        lines = block.splitlines()
        if any(line.startswith(">>>") for line in lines):
            lines = [line[4:] for line in lines if line.startswith((">>> ", "... ")) or line in (">>>", "...")]
        sources.append("\n".join(lines) + "\n")
    return "\n".join(sources)


def marked_lines(source: Path) -> set[int]:
    return {n for n, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1) if MARK.search(line)}


def flagged_lines(output: str, pattern: re.Pattern[str], file_name: str) -> set[int]:
    found = (pattern.match(line) for line in output.splitlines())
    return {int(m.group(2)) for m in found if m and Path(m.group(1)).name == file_name}


def main() -> int:
    ok = True
    records = gen_stubs.load_records()
    with tempfile.TemporaryDirectory(prefix="vorna-typecheck-") as scratch:
        work = Path(scratch)
        # The checks run outside the repository, so only the installed package
        # and its stubs are seen and no project configuration applies.
        (work / "stubtest_runner.py").write_text(STUBTEST, encoding="utf-8")
        module_stubs = work / "module-stubs"
        for name, text in gen_stubs.render_module_stubs(records).items():
            (module_stubs / "vorna" / name).parent.mkdir(parents=True, exist_ok=True)
            (module_stubs / "vorna" / name).write_text(text, encoding="utf-8")
        stubtest = [sys.executable, "stubtest_runner.py", json.dumps(gen_stubs.runtime_modules(records)), "vorna"]
        # MYPYPATH comes before the installed stub package in mypy's search.
        env = {**os.environ, "MYPYPATH": str(module_stubs)}
        ok &= run("stubtest vorna and its submodules", stubtest, work, env=env).returncode == 0

        (work / "pyrightconfig.json").write_text(json.dumps({"typeCheckingMode": "strict"}), encoding="utf-8")
        for name, page in (("readme_examples.py", "README.md"), ("pypi_examples.py", "docs/pypi.md")):
            (work / name).write_text(page_examples(REPO / page), encoding="utf-8")
        for source in (REPO / "demo" / "tour.py", SAMPLES / "bind_once.py", SAMPLES / "misuse.py"):
            (work / source.name).write_text(source.read_text(encoding="utf-8"), encoding="utf-8")
        clean = ["tour.py", "readme_examples.py", "pypi_examples.py", "bind_once.py"]
        expected = marked_lines(work / "misuse.py")
        for name, (command, pattern) in CHECKERS.items():
            if not Path(command[0]).exists():
                print(f"--- {name}: {command[0]} is missing (make typecheck installs it)")
                ok = False
                continue
            ok &= run(f"{name} on {', '.join(clean)}", command + clean, work).returncode == 0
            title = f"{name} on misuse.py: each marked line, and only those, flagged"
            output = run(title, command + ["misuse.py"], work, quiet=True).stdout
            flagged = flagged_lines(output, pattern, "misuse.py")
            if flagged == expected:
                print(f"all {len(expected)} marked lines flagged, no other")
            else:
                print(output + f"misuse.py: {name} missed lines {sorted(expected - flagged)}, "
                      f"flagged unmarked lines {sorted(flagged - expected)}")
                ok = False
    print("typecheck:", "passed" if ok else "FAILED", f"(Python {sys.version.split()[0]})")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
