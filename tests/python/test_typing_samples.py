"""The type-checking samples of tests/typing run: what the stubs accept works, and each
line the stubs must reject fails at run time with the exception its mark names."""
import builtins
import re
import runpy
from pathlib import Path

import pytest

SAMPLES = Path(__file__).resolve().parents[1] / "typing"
MISUSE = (SAMPLES / "misuse.py").read_text(encoding="utf-8").splitlines()
# The set-up: the module's lines before its first definition.
PRELUDE = "\n".join(MISUSE[: next(n for n, line in enumerate(MISUSE) if line.startswith(("def ", "class ")))])
MARKED = [
    pytest.param(m.group(1), m.group(2), id=f"line {n}")
    for n, m in enumerate((re.match(r"^\s*(.*?)  # type error: (\w+)$", line) for line in MISUSE), 1)
    if m
]


def test_accepted_forms_run():
    runpy.run_path(str(SAMPLES / "bind_once.py"), run_name="__main__")


@pytest.mark.parametrize("code, exception", MARKED)
def test_rejected_forms_fail(code, exception):
    namespace = {}
    exec(PRELUDE, namespace)
    with pytest.raises(getattr(builtins, exception)):
        exec(code + (" pass" if code.endswith(":") else ""), namespace)
