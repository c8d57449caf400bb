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


PATH = re.compile(r"(?:src|tests|fuzz|docs|tools|cmake|stubs)/[^`\s]*|CMakeLists\.txt")
SOURCES = [ROOT / "CMakeLists.txt", ROOT / "Makefile"] + [
    path for folder in ("src", "tests", "tools", "fuzz", "cmake") for path in (ROOT / folder).rglob("*")
    if path.suffix in {".hpp", ".cpp", ".h", ".py", ".sh", ".cmake"} and path.name != Path(__file__).name
]


def architecture_note_names():
    """The note's paths, make targets and other names, each as written between backticks."""
    note = re.sub(r"^```.*?^```", "", (ROOT / "docs" / "architecture.md").read_text(encoding="utf-8"), flags=re.M | re.S)
    names = set(re.findall(r"`([^`\n]+)`", note))
    paths = {n for n in names if PATH.fullmatch(n)}
    targets = {n[len("make "):] for n in names if n.startswith("make ")}
    return paths, targets, names - paths - {f"make {t}" for t in targets}


def has_word(words, name):
    # A name ending in "_" is a prefix (`new_`) or a member (`word_`).
    return name in words or name.endswith("_") and any(w.startswith(name) for w in words)


def test_architecture_note_names_only_files_that_exist_and_is_linked():
    paths, _, _ = architecture_note_names()
    assert len(paths) > 20
    # `<stage>` stands for any one folder.
    missing = sorted(p for p in paths if not any(ROOT.glob(re.sub(r"<\w+>", "*", p).rstrip("/"))))
    assert missing == []
    assert "(docs/architecture.md)" in (ROOT / "README.md").read_text(encoding="utf-8")


def test_architecture_note_names_only_targets_and_symbols_that_exist():
    _, targets, others = architecture_note_names()
    makefile = (ROOT / "Makefile").read_text(encoding="utf-8")
    assert sorted(t for t in targets if not re.search(rf"^{re.escape(t)}:", makefile, re.M)) == []
    texts = {path: path.read_text(encoding="utf-8") for path in SOURCES}
    words = {path: set(re.findall(r"\w+", text)) for path, text in texts.items()}
    # A file's own name counts too (a fuzz target is named by its file).
    everywhere = set().union(*words.values(), (path.stem for path in SOURCES))
    missing = []
    for written in others:
        if written.endswith("/"):  # a folder of src/, named beside its parent's path
            if not any(p.is_dir() for p in (ROOT / "src").rglob(written.rstrip("/"))):
                missing.append(written)
            continue
        # A qualified name's member must be in a file that declares its owner.
        for name in re.findall(r"[A-Za-z_]\w*(?:::[A-Za-z_]\w*)*", re.sub(r'"[^"]*"', "", written)):
            *owners, member = name.split("::")
            if owners[:1] == ["std"]:  # the standard library's, not ours
                continue
            if owners:
                declares = re.compile(rf"\b(?:class|struct|enum|namespace)\s+(?:[\w:]*::)?{owners[-1]}\b")
                found = any(has_word(words[p], member) for p, text in texts.items()
                            if owners[-1] in text and declares.search(text))
            else:
                found = has_word(everywhere, member)
            if not found:
                missing.append(f"{name} in `{written}`")
    assert len(others) > 40
    assert sorted(missing) == []
