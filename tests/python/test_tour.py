"""The tour runs, opens with the report, classifies its sample right, colours only when asked and
keeps the report's colour out of its plain rows on a terminal."""
import os
import re
import subprocess
import sys
from pathlib import Path

from classes_helpers import Version
from terminal_helpers import SGR, run_on_terminal

DEMO = Path(__file__).resolve().parents[2] / "demo"
SAMPLE = (DEMO / "sample_versions.txt").read_text(encoding="utf-8").split()


def kind_of(text):
    try:
        return re.match(r"Version::(\w+)", repr(Version(text))).group(1)
    except RuntimeError:
        return "rejected"


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
    header = next(i for i, line in enumerate(out) if line.split()[:3] == ["text", "kind", "fields"])
    rows = [line.split()[:2] for line in out[header + 1 : header + 1 + len(SAMPLE)]]
    assert rows == [[text, kind_of(text)] for text in SAMPLE]


def test_forced_colour_paints_each_kind():
    out = run_tour(CLICOLOR_FORCE="1")
    for code, kind in (("32", "SemVer"), ("36", "DotSeparated"), ("35", "Other"), ("31", "rejected")):
        assert f"\x1b[{code}m{kind}" in out


def test_on_a_terminal_only_the_report_and_the_tour_paint():
    returncode, _, out = run_on_terminal([sys.executable, str(DEMO / "tour.py")])
    assert returncode == 0, out
    report, _, rest = out.partition("╯")
    assert re.search(r"\x1b\[38;5;201m╰─+\x1b\[0m found 'x' expected integer", report)
    # After the report only the tour's own paint: bold headings and the kind column.
    assert set(re.findall(SGR, rest)) == {"\x1b[1m", "\x1b[0m", "\x1b[32m", "\x1b[36m", "\x1b[35m", "\x1b[31m"}
    rows = [line.partition("\x1b[0m") for line in rest.splitlines() if "\x1b[31mrejected" in line]
    assert [text.split()[0] for text, _, _ in rows] == [text for text in SAMPLE if kind_of(text) == "rejected"]
    for _, _, detail in rows:
        assert re.fullmatch(r" found '.' expected [^\x1b│╰─]+", detail), detail
