"""`make mutate` (tools/mutate.py) stopped while a fault is planted leaves the
checkout as it found it. Run in a clone of this checkout, so that the tree
the other tests and builds read never holds a fault."""
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
# A header that most of the C++ core includes: its fault keeps the C++ build
# busy long enough to be stopped in the middle.
FILE = "src/core/report/unit_sink.hpp"


def needs():
    if os.environ.get("VORNA_MUTATE_RUN"):
        return "run by tools/mutate.py itself"
    if not (ROOT / ".git").exists() or not (ROOT / "tools" / "mutate.py").exists():
        return "not a git checkout of vorna"
    tools = dict(os.environ, PATH=f"{Path(sys.executable).parent}:{os.environ.get('PATH', '')}")
    missing = [t for t in ("git", "cmake", "ninja", "g++") if not shutil.which(t, path=tools["PATH"])]
    return f"build tools missing: {', '.join(missing)}" if missing else None


def git_status(repo):
    return subprocess.run(["git", "status", "--porcelain", "--untracked-files=all"], cwd=repo, capture_output=True,
                          text=True, check=True).stdout


@pytest.mark.skipif(bool(needs()), reason=needs() or "")
@pytest.mark.parametrize("stop, status", [(signal.SIGINT, 130), (signal.SIGTERM, 143)])
def test_a_stopped_run_leaves_the_checkout_as_it_was(tmp_path, stop, status):
    clone = tmp_path / "clone"
    subprocess.run(["git", "clone", "-q", "--shared", ROOT, clone], check=True, timeout=120)
    shutil.copy(ROOT / "tools" / "mutate.py", clone / "tools" / "mutate.py")  # as it is here, committed or not
    status_before = git_status(clone)
    venv = tmp_path / "venv"  # holds no pip: a fault that got as far as the extension would go nowhere
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", venv], check=True, timeout=120)
    original = (clone / FILE).read_text(encoding="utf-8")
    env = dict(os.environ, PATH=f"{Path(sys.executable).parent}:{os.environ['PATH']}", JOBS="1")
    run = subprocess.Popen([sys.executable, "tools/mutate.py", "--files", FILE, "-n", "2", "--seed", "1",
                            "--venv", venv], cwd=clone, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True)
    output = []
    deadline = time.monotonic() + 240
    try:
        # The first fault is planted once its line is printed; the C++ build follows.
        while not any(line.startswith("[1/2]") for line in output):
            assert time.monotonic() < deadline and run.poll() is None, "".join(output)
            output.append(run.stdout.readline())
        planted = (clone / FILE).read_text(encoding="utf-8")
        time.sleep(1)
        run.send_signal(stop)
        rest, _ = run.communicate(timeout=60)
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()
    output.append(rest)
    assert planted != original  # the run was stopped with a fault in place
    assert run.returncode == status, "".join(output)
    assert (clone / FILE).read_text(encoding="utf-8") == original
    assert git_status(clone) == status_before
    assert "the tree is as it was" in "".join(output)
