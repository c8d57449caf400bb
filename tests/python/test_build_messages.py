"""What the build says when it cannot build."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
CMAKE = shutil.which("cmake", path=os.pathsep.join([str(Path(sys.executable).parent), os.environ.get("PATH", "")]))


@pytest.mark.skipif(CMAKE is None, reason="needs cmake")
@pytest.mark.parametrize("cxx", ["/bin/false", "g++-missing"])
def test_configure_without_a_working_compiler_names_what_it_needs(cxx, tmp_path):
    result = subprocess.run([CMAKE, "-S", str(ROOT), "-B", str(tmp_path)], env={**os.environ, "CXX": cxx},
                            capture_output=True, text=True, timeout=120)
    assert result.returncode != 0
    message = " ".join(result.stderr.split())
    assert "needs a C++ compiler that supports it: g++ 12 or later, or clang 16 or later" in message
    assert f"(tried CXX={cxx})" in message and "`apt-get install g++`" in message
