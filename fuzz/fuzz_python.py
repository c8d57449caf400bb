"""The Python-surface harness under atheris, libFuzzer's engine for Python.
Run by fuzz/run_python.sh, which builds the extension with the sanitizers and
libFuzzer's coverage and preloads their runtime; arguments are libFuzzer's."""
import os
import sys
import traceback

import atheris

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
with atheris.instrument_imports():
    import python_surface


def test_one_input(data):
    try:
        python_surface.run(data)
    except AssertionError:
        traceback.print_exc()  # to the log: standard output is discarded, test_function writes there
        raise


if __name__ == "__main__":
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()
