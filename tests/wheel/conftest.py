"""The wheel under test is named on the command line: pytest tests/wheel --wheel PATH."""
from pathlib import Path

import pytest


def pytest_addoption(parser):
    parser.addoption("--wheel", required=True, help="the built wheel to check")


@pytest.fixture(scope="session")
def wheel(request):
    return Path(request.config.getoption("--wheel")).resolve()
