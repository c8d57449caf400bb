"""`make mutate` (tools/mutate.py) stopped while a fault is planted leaves the
checkout as it found it. It runs in a clone of this checkout, so that the
tree the other tests and builds read never holds a fault, with a stand-in
for cmake whose build of the fault lasts until the run is stopped."""
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
FILE = "src/core/report/unit_sink.hpp"
# Configures and builds the tree as it is at once; a build after that one (a
# fault's) lasts until it is stopped.
CMAKE = """#!/bin/sh
if [ "$1" = --build ]; then
  [ -e "$0.built" ] && exec sleep 300
  touch "$0.built"
fi
exit 0
"""
# git and the run itself load no extension: a sanitizer's runtime preloaded
# for the suite stays out of them (git's own leaks would end it).
ENV = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}


def needs():
    if os.environ.get("VORNA_MUTATE_RUN"):
        return "run by tools/mutate.py itself"
    if not (ROOT / ".git").exists() or not (ROOT / "tools" / "mutate.py").exists():
        return "not a git checkout of vorna"
    return None if shutil.which("git") else "no git here"


def git_status(repo):
    return subprocess.run(["git", "status", "--porcelain", "--untracked-files=all"], cwd=repo, env=ENV,
                          capture_output=True, text=True, check=True).stdout


@pytest.mark.skipif(bool(needs()), reason=needs() or "")
@pytest.mark.parametrize("stop, status", [(signal.SIGINT, 130), (signal.SIGTERM, 143)])
def test_a_stopped_run_leaves_the_checkout_as_it_was(tmp_path, stop, status):
    clone = tmp_path / "clone"
    subprocess.run(["git", "clone", "-q", "--shared", ROOT, clone], env=ENV, check=True, timeout=120)
    shutil.copy(ROOT / "tools" / "mutate.py", clone / "tools" / "mutate.py")  # as it is here, committed or not
    before = git_status(clone)
    original = (clone / FILE).read_text(encoding="utf-8")
    tools = tmp_path / "bin"
    tools.mkdir()
    (tools / "cmake").write_text(CMAKE)
    (tools / "ninja").write_text(f'#!/bin/sh\necho "    $PWD/{FILE}"\n')  # the file is in the C++ build
    for tool in ("cmake", "ninja"):
        (tools / tool).chmod(0o755)
    venv = tmp_path / "venv"  # a virtualenv whose interpreter does nothing
    (venv / "bin").mkdir(parents=True)
    (venv / "pyvenv.cfg").write_text("")
    (venv / "bin" / "python").write_text("#!/bin/sh\nexit 0\n")
    (venv / "bin" / "python").chmod(0o755)
    run = subprocess.Popen([sys.executable, "tools/mutate.py", "--files", FILE, "-n", "2", "--seed", "1",
                            "--venv", venv], cwd=clone, env=dict(ENV, PATH=f"{tools}:{ENV['PATH']}"),
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    output = []
    try:
        # The first fault is planted when its line is printed; its build follows.
        while not any(line.startswith("[1/2]") for line in output) and run.poll() is None:
            output.append(run.stdout.readline())
        planted = (clone / FILE).read_text(encoding="utf-8")
        time.sleep(0.5)
        run.send_signal(stop)
        output.append(run.communicate(timeout=60)[0])
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()
    assert planted != original, "".join(output)  # stopped with a fault in place
    assert run.returncode == status, "".join(output)
    assert "the tree is as it was" in output[-1]
    assert (clone / FILE).read_text(encoding="utf-8") == original
    assert git_status(clone) == before
    assert not (clone / "build" / "mutate" / "pending.json").exists()
