"""What the build reads from the project, and what it says when it cannot build."""
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


# What CMakeLists.txt does with the version of a pyproject.toml, as a script.
PROBE = """include({root}/cmake/project_version.cmake)
vorna_project_version(${{PYPROJECT}} version release)
message(NOTICE "read: ${{version}}|${{release}}")
"""


def read_version(line, tmp_path):
    (tmp_path / "probe.cmake").write_text(PROBE.format(root=ROOT.as_posix()))
    # A table before and after, and a version key in another table, as a real file may have.
    (tmp_path / "pyproject.toml").write_text(
        f'[build-system]\nrequires = []\n\n[project]\nname = "x"\nclassifiers = [\n  "a",\n]\n{line}\n'
        '\n[tool.other]\nversion = "9.9.9"\n')
    return subprocess.run([CMAKE, f"-DPYPROJECT={tmp_path / 'pyproject.toml'}", "-P", str(tmp_path / "probe.cmake")],
                          capture_output=True, text=True, timeout=120)


@pytest.mark.skipif(CMAKE is None, reason="needs cmake")
@pytest.mark.parametrize("line, release", [
    ('version = "0.1.0"', "0.1.0"),
    ('version = "0.2.0rc1"', "0.2.0"),
    ('version = "1.0.post1"', "1.0"),
    ('version = "2!1.0.dev3+local.1"', "1.0"),
    ("version = ' V1.0-RC.1 '  # spelled as the tools allow", "1.0"),
    ('version="1.0-1"', "1.0"),
    ('version = "1.2.3.4.5"', "1.2.3.4"),
    ('version = "2024.05.0"', "2024.5.0"),
])
def test_every_version_the_packaging_tools_take_is_read(line, release, tmp_path):
    result = read_version(line, tmp_path)
    assert result.returncode == 0, result.stderr
    version = line.split("=", 1)[1].split("#")[0].strip()[1:-1]
    assert f"read: {version}|{release}" in result.stderr


@pytest.mark.skipif(CMAKE is None, reason="needs cmake")
@pytest.mark.parametrize("line, complaint", [
    ('version = "1.0+"', 'the version "1.0+" under [project] is not a version the packaging tools accept'),
    ('version = "1.0a1b2"', 'the version "1.0a1b2" under'),
    ('version = "1.0.dev1.post1"', 'the version "1.0.dev1.post1" under'),
    ('version = "release-1.0"', 'the version "release-1.0" under'),
    ('dynamic = ["version"]', "gives no version under [project]"),
])
def test_a_version_the_tools_refuse_stops_the_configuration(line, complaint, tmp_path):
    result = read_version(line, tmp_path)
    assert result.returncode != 0
    assert complaint in " ".join(result.stderr.split())
