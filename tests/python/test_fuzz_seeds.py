"""The seed programs of the Python-surface fuzz harness, replayed as
regression cases. The harness reads plain bytes, so no fuzzer is needed."""
import pathlib
import sys

import pytest

FUZZ = pathlib.Path(__file__).resolve().parents[2] / "fuzz"
sys.path.insert(0, str(FUZZ))
import python_surface  # noqa: E402

SEEDS = sorted((FUZZ / "seeds" / "python").iterdir())


@pytest.mark.parametrize("seed", SEEDS, ids=lambda path: path.name)
def test_seed_program_keeps_every_rule(seed):
    python_surface.run(seed.read_bytes())


def test_harness_reports_a_broken_rule(monkeypatch):
    # A shadow text form that disagrees with str() must be caught: op 10
    # renders slot 0 and compares.
    monkeypatch.setattr(python_surface, "text_form", lambda shadow: b"wrong")
    with pytest.raises(AssertionError, match="str"):
        python_surface.run(bytes([3, 0, 10, 0]))
