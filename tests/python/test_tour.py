"""The tour runs, opens with the report, classifies its sample right and colours only when asked."""
import os
import re
import subprocess
import sys
from pathlib import Path

from classes_helpers import Version

DEMO = Path(__file__).resolve().parents[2] / "demo"


def run_tour(**env_changes):
    env = {k: v for k, v in os.environ.items() if k not in ("CLICOLOR_FORCE", "NO_COLOR")}
    env.update(env_changes)
    result = subprocess.run(
        [sys.executable, str(DEMO / "tour.py")], capture_output=True, text=True, env=env, timeout=120
    )
    assert result.returncode == 0, result.stderr
    return result.stdout


def test_plain_tour_opens_with_the_report_and_classifies_the_sample():
    out = run_tour(NO_COLOR="1").splitlines()
    assert "\x1b" not in "".join(out)
    assert out[1] == "Error: " and out[6].endswith("found 'x' expected integer")
    sample = (DEMO / "sample_versions.txt").read_text(encoding="utf-8").split()
    header = next(i for i, line in enumerate(out) if line.split()[:3] == ["text", "kind", "fields"])
    rows = [line.split()[:2] for line in out[header + 1 : header + 1 + len(sample)]]
    expected = []
    for text in sample:
        try:
            expected.append([text, re.match(r"Version::(\w+)", repr(Version(text))).group(1)])
        except RuntimeError:
            expected.append([text, "rejected"])
    assert rows == expected


def test_forced_colour_paints_each_kind():
    out = run_tour(CLICOLOR_FORCE="1")
    for code, kind in (("32", "SemVer"), ("36", "DotSeparated"), ("35", "Other"), ("31", "rejected")):
        assert f"\x1b[{code}m{kind}" in out
