"""Every code block of the README and of the package description runs and prints what it shows, and
the README's blocks print it on a terminal too."""
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest
from terminal_helpers import run_on_terminal

ROOT = Path(__file__).resolve().parents[2]
DOCUMENTS = ["README.md", "docs/pypi.md"]
FENCE = re.compile(r"^```(\w*)\n(.*?)^```", re.M | re.S)
NEW_EXAMPLE = "\n>>> "  # every example but a session's first

RUN_SESSIONS = """
import doctest, sys
text = sys.stdin.read()
test = doctest.DocTestParser().get_doctest(text, {}, sys.argv[1], sys.argv[1], 0)
runner = doctest.DocTestRunner()
runner.run(test)
import vorna
try:
    vorna.package.version.SemVer("x")
except RuntimeError as error:
    colour = "on" if chr(27) in str(error) else "off"
print(f"{runner.tries} examples, report colour {colour}")
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
    assert result.stdout.splitlines()[-1] == f"{sessions.count(NEW_EXAMPLE) + 1} examples, report colour off"


def test_readme_sessions_print_plain_text_on_a_terminal():
    # Standard error on a terminal colours the report; the one block that
    # prints the whole report shows it as it is, coloured there. Every other
    # block, the recipes among them, prints what it shows.
    blocks = [body for _, body in FENCE.findall((ROOT / "README.md").read_text(encoding="utf-8"))]
    kept = [body for body in blocks if "print(error, end" not in body]
    assert len(blocks) - len(kept) == 1 and any("parse_or_none" in body for body in kept)
    sessions = "\n".join(kept)
    returncode, out, terminal = run_on_terminal(
        [sys.executable, "-c", RUN_SESSIONS, "README.md"], stdin_text=sessions, stdout_on_terminal=False
    )
    assert returncode == 0, out + terminal
    assert out.splitlines()[-1] == f"{sessions.count(NEW_EXAMPLE) + 1} examples, report colour on"
