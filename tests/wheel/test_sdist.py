"""The sdist holds the tracked files and its metadata, less the pictures,
whatever else lies in the tree it is made from: both as `make sdist` makes it
and as pip or `python -m build` make it. And from it a packager builds the
module with pip and runs the Python suite against it, and builds and runs the
C++ suite through its presets."""
import os
import shutil
import subprocess
import sys
import tarfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import wheel_run  # noqa: E402
from sdist import unpack  # noqa: E402

STRAYS = [".venv/x/LICENSE", "build/y/LICENSE", "dist/z/LICENSE", ".venv-3.12/lib/LICENSE"]


def left_out(name):
    return name.endswith(".png")


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


# The unpacked sdist and its build folders, kept between runs: a run after the
# first rebuilds only what changed.
UNPACKED = ROOT / "build" / "sdist-check"
JOBS = os.environ.get("JOBS", "2")


def packager_runs(command, env):
    result = subprocess.run(command, cwd=UNPACKED, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True)
    assert result.returncode == 0, f"{' '.join(command)} failed:\n{result.stdout[-8000:]}"
    return result.stdout


def test_a_packager_builds_and_runs_both_suites_from_the_sdist(wheel, tmp_path):
    # The sdist `make wheel` made beside its wheel, from the tracked files.
    (sdist,) = wheel.parent.glob("vorna-*.tar.gz")
    UNPACKED.mkdir(parents=True, exist_ok=True)
    unpack(sdist, UNPACKED, keep="build")
    # cmake and ninja of the build virtualenv, as pip and the presets would find their own.
    env = {**os.environ, "PATH": f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}",
           "CMAKE_BUILD_PARALLEL_LEVEL": JOBS}

    packager_runs([sys.executable, "-m", "pip", "wheel", "-q", "--no-build-isolation", "--no-deps",
                   "-w", str(tmp_path), "."], env)
    (built,) = tmp_path.glob("vorna-*.whl")
    version = f"{sys.version_info[0]}.{sys.version_info[1]}"
    passed, summary = wheel_run.test_wheel(built, version, ("native", sys.executable), False, tmp_path / "venv",
                                           UNPACKED / "tests" / "python")
    assert passed, summary
    assert "; terminal tests: " in summary, summary  # what became of the tests a terminal needs

    packager_runs(["cmake", "--preset", "cpp"], env)
    packager_runs(["cmake", "--build", "--preset", "cpp", "-j", JOBS], env)
    tested = packager_runs(["ctest", "--preset", "cpp", "-j", JOBS], env)
    # Every fuzz target's seeds replayed, with the rest of the suite.
    targets = [line.split()[0] for line in (UNPACKED / "fuzz" / "targets.txt").read_text().splitlines()
               if line[:1].isalpha()]
    assert targets and all(f" {target}_replay " in tested for target in targets)
    assert "100% tests passed" in tested
