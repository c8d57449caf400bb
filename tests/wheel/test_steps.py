"""A failed command of the release scripts (tools/steps.py) stops them in their
own words: the step, the command and the output held back, no traceback."""
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from steps import Step, run, run_shown  # noqa: E402

FAILING = ["sh", "-c", "echo built half; echo 'ld: no such symbol' >&2; exit 3"]


@pytest.mark.parametrize("call, shown", [
    (lambda: run_shown(FAILING), "built half\nld: no such symbol\n"),
    (lambda: run(FAILING, capture_output=True, text=True), "built half\nld: no such symbol\n"),
    (lambda: run(FAILING, capture_output=True), "built half\nld: no such symbol\n"),
    (lambda: run(["sh", "-c", "printf partial; exit 3"], capture_output=True, text=True), "partial\n"),
])
def test_a_failed_command_names_its_step_and_shows_its_output(call, shown, capsys):
    with pytest.raises(SystemExit) as stopped, Step("wheel cp39-x86_64", "a minute"):
        call()
    assert str(stopped.value).startswith("wheel cp39-x86_64: failed with exit status 3: sh -c ")
    printed = capsys.readouterr().out
    assert shown in printed and printed.index(shown) < printed.index("took")
    assert Step.doing() == ""


def test_a_command_that_cannot_start_is_named(tmp_path):
    with pytest.raises(SystemExit) as stopped:
        run([tmp_path / "no-such-tool", "--flag"], capture_output=True)
    assert str(stopped.value) == f"cannot run {tmp_path / 'no-such-tool'} --flag: No such file or directory"


def test_a_failure_the_caller_expects_is_returned():
    assert run(FAILING, capture_output=True, text=True, check=False).returncode == 3
    assert run_shown(["sh", "-c", "echo out; echo err >&2"]) == "out\nerr\n"
