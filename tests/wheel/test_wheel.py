"""The built wheel: its tag, contents and metadata, and that it installs and imports in a fresh virtualenv."""
import email
import re
import subprocess
import sys
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def test_tag_contents_and_metadata(wheel):
    assert "-manylinux2014_" in wheel.name, wheel.name
    with zipfile.ZipFile(wheel) as archive:
        names = archive.namelist()
        metadata = email.message_from_bytes(archive.read(next(n for n in names if n.endswith(".dist-info/METADATA"))))
        licence = next(n for n in names if n.endswith("/LICENSE") and ".dist-info/" in n)
        assert archive.read(licence) == (ROOT / "LICENSE").read_bytes()
    assert [n for n in names if n.startswith("vorna.") and n.endswith(".so")]
    stubs = sorted(str(p.relative_to(ROOT / "stubs")) for p in (ROOT / "stubs").glob("vorna-stubs/**/*") if p.is_file())
    assert sorted(n for n in names if n.startswith("vorna-stubs/") and not n.endswith("/")) == stubs
    classifiers = metadata.get_all("Classifier")
    assert f"Programming Language :: Python :: {sys.version_info[0]}.{sys.version_info[1]}" in classifiers
    assert {"Typing :: Typed", "License :: OSI Approved :: MIT License"} <= set(classifiers)
    assert metadata["Requires-Python"] == ">=3.9"
    assert metadata["Description-Content-Type"] == "text/markdown"
    assert "make " not in metadata.get_payload()
    # The module needs nothing at run time; only the test extra names packages
    # (the benchmarks' peers are no user's concern).
    assert [r for r in metadata.get_all("Requires-Dist") or [] if 'extra == "test"' not in r] == []
    assert metadata.get_all("Provides-Extra") == ["test"]


def test_cxx_runtime_is_linked_in(wheel, tmp_path):
    with zipfile.ZipFile(wheel) as archive:
        library = next(n for n in archive.namelist() if n.endswith(".so"))
        archive.extract(library, tmp_path)
    dynamic = subprocess.run(["readelf", "-d", str(tmp_path / library)], capture_output=True, text=True, check=True)
    needed = [line for line in dynamic.stdout.splitlines() if "(NEEDED)" in line]
    assert needed and not [line for line in needed if "libstdc++" in line], needed
    # The fault-injection hooks of the test build stay out of a wheel.
    symbols = subprocess.run(["nm", "-D", "--defined-only", str(tmp_path / library)], capture_output=True, text=True,
                             check=True)
    assert "PyInit_vorna" in symbols.stdout and "vorna_test_" not in symbols.stdout


def test_installs_and_imports_in_a_fresh_virtualenv(wheel, tmp_path):
    subprocess.run([sys.executable, "-m", "venv", str(tmp_path / "env")], check=True)
    python = tmp_path / "env" / "bin" / "python"
    subprocess.run(
        [str(python), "-m", "pip", "install", "-q", "--no-index", "--no-deps", str(wheel)], check=True, cwd=tmp_path
    )
    probe = (
        "import vorna; v = vorna.package.version;"
        "print(vorna.__file__); print(v.Version('1.0.0-rc.1') < v.Version('1.0.0'), v.SemVer('v2.1.0').minor)"
    )
    result = subprocess.run([str(python), "-c", probe], capture_output=True, text=True, check=True, cwd=tmp_path)
    location, answer = result.stdout.splitlines()
    assert location.startswith(str(tmp_path / "env")) and answer == "True 1"
    # A type checker finds the stub the wheel installed beside the module.
    (tmp_path / "user.py").write_text("import vorna\nreveal_type(vorna.package.version.SemVer('1.2.3').rc)\n")
    checked = subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--python-executable", str(python), "user.py"],
        capture_output=True, text=True, cwd=tmp_path,
    )
    assert re.search(r'Revealed type is ".*list\[(builtins\.)?str\]', checked.stdout), checked.stdout
