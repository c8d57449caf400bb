"""Every code block of the README runs and prints what the README shows."""
import os
import re
import subprocess
import sys
from pathlib import Path

README = Path(__file__).resolve().parents[2] / "README.md"
FENCE = re.compile(r"^```(\w*)\n(.*?)^```", re.M | re.S)

RUN_SESSIONS = """
import doctest, sys
text = sys.stdin.read()
test = doctest.DocTestParser().get_doctest(text, {}, "README", "README.md", 0)
runner = doctest.DocTestRunner()
runner.run(test)
print(f"{runner.tries} examples")
sys.exit(1 if runner.failures else 0)
"""


def test_every_block_is_a_session():
    blocks = FENCE.findall(README.read_text(encoding="utf-8"))
    assert blocks
    for language, body in blocks:
        assert language == "pycon" and body.startswith(">>> "), f"not an executable session:\n{body}"


def test_sessions_print_what_they_show():
    sessions = "\n".join(body for _, body in FENCE.findall(README.read_text(encoding="utf-8")))
    # A fresh interpreter with colour off: the report's colour is decided once
    # per process, and the README shows the plain report.
    env = {k: v for k, v in os.environ.items() if k not in ("CLICOLOR_FORCE", "CLICOLOR")}
    env["NO_COLOR"] = "1"
    result = subprocess.run(
        [sys.executable, "-c", RUN_SESSIONS], input=sessions, capture_output=True, text=True, env=env, timeout=120
    )
    assert result.returncode == 0, result.stdout + result.stderr
    assert int(result.stdout.split()[-2]) == sessions.count("\n>>> ") + 1
