"""The project files agree on what they each list."""
import ast
import re
import shlex
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def test_bench_extra_installs_what_make_bench_installs():
    makefile = (ROOT / "Makefile").read_text(encoding="utf-8")
    pyproject = (ROOT / "pyproject.toml").read_text(encoding="utf-8")
    make_bench = shlex.split(re.search(r"^BENCH_PACKAGES := (.*)$", makefile, re.M).group(1))
    extra = ast.literal_eval(re.search(r"^bench = (\[.*\])$", pyproject, re.M).group(1))
    assert extra == make_bench


def test_architecture_note_names_only_files_that_exist_and_is_linked():
    note = (ROOT / "docs" / "architecture.md").read_text(encoding="utf-8")
    paths = set(re.findall(r"`((?:src|tests|fuzz|docs|tools|cmake)/[^`\s<>]*)`", note)) | {"CMakeLists.txt"}
    assert len(paths) > 20
    missing = sorted(p for p in paths if not (ROOT / p).exists())
    assert missing == []
    assert "(docs/architecture.md)" in (ROOT / "README.md").read_text(encoding="utf-8")
