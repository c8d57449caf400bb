"""Shared setup of the Python suite."""


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "stress: long-running repetition of every class entry point (deselect with -m 'not stress')"
    )
