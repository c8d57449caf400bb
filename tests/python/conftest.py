"""Shared setup of the Python suite."""
import ctypes

import pytest

# The fault-injection hooks a test build exports (VORNA_TEST_HOOKS=ON); a
# release build, such as a wheel or a plain `pip install .`, has none.
TEST_HOOKS = ("vorna_test_fail_next_store", "vorna_test_log")


def has_test_hooks():
    import vorna

    library = ctypes.PyDLL(vorna.__file__)
    return all(hasattr(library, name) for name in TEST_HOOKS)


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "stress: long-running repetition of every class entry point (deselect with -m 'not stress')"
    )
    config.addinivalue_line(
        "markers", "needs_test_hooks: needs the fault-injection hooks of a test build (skipped on a release build)"
    )


def pytest_collection_modifyitems(config, items):
    marked = [item for item in items if item.get_closest_marker("needs_test_hooks")]
    if marked and not has_test_hooks():
        skip = pytest.mark.skip(reason="needs a test build (VORNA_TEST_HOOKS=ON): this extension has no test hooks")
        for item in marked:
            item.add_marker(skip)
