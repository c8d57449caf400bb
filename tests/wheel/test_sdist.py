"""The sdist holds the tracked files and its metadata, less the seeds of the C++
fuzz targets and the pictures, whatever else lies in the tree it is made from:
both as `make sdist` makes it and as pip or `python -m build` make it."""
import shutil
import subprocess
import sys
import tarfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
STRAYS = [".venv/x/LICENSE", "build/y/LICENSE", "dist/z/LICENSE", ".venv-3.12/lib/LICENSE"]


def left_out(name):
    return (name.startswith("fuzz/seeds/") and not name.startswith("fuzz/seeds/python/")) or name.endswith(".png")


@pytest.mark.parametrize("maker", ["tools/sdist.py", "python -m build"])
def test_sdist_holds_the_tracked_files_only(maker, tmp_path):
    if not (ROOT / ".git").exists():
        pytest.skip("needs the git checkout")
    listing = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True).stdout
    tracked = [name for name in listing.splitlines() if (ROOT / name).is_file()]
    tree = tmp_path / "tree"
    for name in tracked:
        (tree / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(ROOT / name, tree / name)
    subprocess.run(["git", "init", "-q"], cwd=tree, check=True)
    subprocess.run(["git", "add", "-A"], cwd=tree, check=True)
    for stray in STRAYS:
        (tree / stray).parent.mkdir(parents=True, exist_ok=True)
        (tree / stray).write_text("not the project's\n")
    if maker == "tools/sdist.py":
        (tree / "notes.txt").write_text("untracked\n")
        command = [sys.executable, "tools/sdist.py", "--dist", str(tmp_path / "out")]
    else:
        command = [sys.executable, "-m", "build", "--sdist", "--no-isolation", "-o", str(tmp_path / "out"), "."]
    subprocess.run(command, cwd=tree, check=True, capture_output=True)
    (sdist,) = (tmp_path / "out").glob("vorna-*.tar.gz")
    with tarfile.open(sdist) as archive:
        names = {m.name.split("/", 1)[1] for m in archive.getmembers() if m.isfile()}
    expected = {name for name in tracked if not left_out(name)} | {"PKG-INFO"}
    assert sorted(names - expected) == [] and sorted(expected - names) == []
    assert any(name.startswith("fuzz/seeds/python/") for name in names)
