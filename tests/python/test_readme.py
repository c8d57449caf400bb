"""Every code block of the README and of the package description runs and prints what it shows."""
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DOCUMENTS = ["README.md", "docs/pypi.md"]
FENCE = re.compile(r"^```(\w*)\n(.*?)^```", re.M | re.S)

RUN_SESSIONS = """
import doctest, sys
text = sys.stdin.read()
test = doctest.DocTestParser().get_doctest(text, {}, sys.argv[1], sys.argv[1], 0)
runner = doctest.DocTestRunner()
runner.run(test)
print(f"{runner.tries} examples")
sys.exit(1 if runner.failures else 0)
"""


@pytest.mark.parametrize("document", DOCUMENTS)
def test_every_block_is_a_session(document):
    blocks = FENCE.findall((ROOT / document).read_text(encoding="utf-8"))
    assert blocks
    for language, body in blocks:
        assert language == "pycon" and body.startswith(">>> "), f"not an executable session:\n{body}"


@pytest.mark.parametrize("document", DOCUMENTS)
def test_sessions_print_what_they_show(document):
    sessions = "\n".join(body for _, body in FENCE.findall((ROOT / document).read_text(encoding="utf-8")))
    # A fresh interpreter with colour off: the report's colour is decided once
    # per process, and the documents show the plain report.
    env = {k: v for k, v in os.environ.items() if k not in ("CLICOLOR_FORCE", "CLICOLOR")}
    env["NO_COLOR"] = "1"
    result = subprocess.run(
        [sys.executable, "-c", RUN_SESSIONS, document], input=sessions, capture_output=True, text=True, env=env, timeout=120
    )
    assert result.returncode == 0, result.stdout + result.stderr
    assert int(result.stdout.split()[-2]) == sessions.count("\n>>> ") + 1
