"""The project files agree on what they each list."""
import ast
import re
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def imported_names(text):
    """The top-level modules a Python source imports, with those of the code in its strings."""
    names, trees = set(), [ast.parse(text)]
    while trees:
        for node in ast.walk(trees.pop()):
            if isinstance(node, ast.Import):
                names |= {alias.name.split(".")[0] for alias in node.names}
            elif isinstance(node, ast.ImportFrom) and node.level == 0:
                names.add(node.module.split(".")[0])
            elif isinstance(node, ast.Constant) and isinstance(node.value, str) and "import " in node.value:
                try:
                    trees.append(ast.parse(node.value))
                except SyntaxError:
                    pass
    return names


@pytest.mark.skipif(not hasattr(sys, "stdlib_module_names"), reason="tells the standard library apart on 3.10+")
def test_bench_requirements_name_what_the_benchmarks_import():
    bench = ROOT / "bench"
    imported = set().union(*(imported_names(p.read_text(encoding="utf-8")) for p in bench.glob("*.py")))
    ours = {p.stem for p in bench.glob("*.py")} | {"vorna", "_vorna_floor"}
    lines = (bench / "requirements.txt").read_text(encoding="utf-8").splitlines()
    required = {re.split(r"[<>=!~;\[ ]", line)[0] for line in lines if line and not line.startswith("#")}
    assert imported - set(sys.stdlib_module_names) - ours == required


def test_architecture_note_names_only_files_that_exist_and_is_linked():
    note = (ROOT / "docs" / "architecture.md").read_text(encoding="utf-8")
    paths = set(re.findall(r"`((?:src|tests|fuzz|docs|tools|cmake)/[^`\s<>]*)`", note)) | {"CMakeLists.txt"}
    assert len(paths) > 20
    missing = sorted(p for p in paths if not (ROOT / p).exists())
    assert missing == []
    assert "(docs/architecture.md)" in (ROOT / "README.md").read_text(encoding="utf-8")
