"""Checks the installed type stub of vorna against the runtime and against user code.

1. stubtest on the module vorna (its functions, submodule attributes and __all__);
2. stubtest on the classes of vorna.package.version, laid out as a module of their
   own: the submodule is not importable, so stubtest cannot reach them through vorna;
3. mypy --strict on the tour and on the README's python code blocks.

Run with the interpreter whose environment has vorna and mypy installed (make typecheck).
"""
from __future__ import annotations

import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import gen_stubs  # noqa: E402

REPO = Path(__file__).resolve().parent.parent
CLASSES_MODULE = "vorna_classes_check"
# A module that holds the runtime classes of vorna.package.version at top level.
CLASSES_RUNTIME = """\
import vorna

_classes = vorna.package.version
globals().update((name, getattr(_classes, name)) for name in _classes.__all__)
__all__ = list(_classes.__all__)
"""


def run(title, command, cwd, env=None):
    print(f"--- {title}", flush=True)
    print("$ " + " ".join(str(part) for part in command), flush=True)
    return subprocess.run(command, cwd=cwd, env=env).returncode == 0


def readme_examples(readme: Path) -> str:
    """The README's Python code blocks, in order, as one module. A block written as an
    interactive session contributes the source lines after its prompts."""
    blocks = re.findall(r"^```(?:python|py|pycon)\n(.*?)^```", readme.read_text(encoding="utf-8"), re.M | re.S)
    sources = []
    for block in blocks:
        lines = block.splitlines()
        if any(line.startswith(">>>") for line in lines):
            lines = [line[4:] for line in lines if line.startswith((">>> ", "... ")) or line in (">>>", "...")]
        sources.append("\n".join(lines) + "\n")
    return "\n".join(sources)


def main() -> int:
    ok = True
    with tempfile.TemporaryDirectory(prefix="vorna-typecheck-") as scratch:
        work = Path(scratch)
        # The checks run outside the repository, so only the installed package
        # and its stub are seen, and no project configuration applies.
        stubtest = [sys.executable, "-m", "mypy.stubtest"]
        ok &= run("stubtest vorna", stubtest + ["vorna"], work)

        (work / "stubs").mkdir()
        (work / "runtime").mkdir()
        flat = gen_stubs.render_flat(gen_stubs.load_records(), "vorna.package.version")
        (work / "stubs" / f"{CLASSES_MODULE}.pyi").write_text(flat, encoding="utf-8")
        (work / "runtime" / f"{CLASSES_MODULE}.py").write_text(CLASSES_RUNTIME, encoding="utf-8")
        env = dict(os.environ, MYPYPATH=str(work / "stubs"), PYTHONPATH=str(work / "runtime"))
        ok &= run("stubtest of the classes of vorna.package.version", stubtest + [CLASSES_MODULE], work, env)

        examples = work / "readme_examples.py"
        examples.write_text(readme_examples(REPO / "README.md"), encoding="utf-8")
        mypy = [sys.executable, "-m", "mypy", "--strict", "--no-incremental"]
        sources = [REPO / "demo" / "tour.py", examples]
        ok &= run("mypy --strict on the tour and the README examples", mypy + sources, work)
    print("typecheck:", "passed" if ok else "FAILED", f"(Python {sys.version.split()[0]})")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
