"""Builds the sdist from the files git tracks, nothing else: they are copied
into a folder of their own and scikit-build-core packs them from there, so
that virtualenvs, build folders and stray files of the working tree never get
in. pyproject.toml leaves out the pictures, which neither the build nor the
suites read; the rest lets a packager build the module and run both suites.

    python tools/sdist.py [--dist DIR]

Run by `make sdist` with the build virtualenv's interpreter (build, twine,
scikit-build-core); tools/build_wheels.py builds every wheel from the sdist it
makes this way.
"""
import argparse
import os
import shutil
import sys
import tarfile
import tempfile
from pathlib import Path

from steps import run, run_shown

ROOT = Path(__file__).resolve().parents[1]
BIN = Path(sys.executable).parent


def tracked_files():
    """The tracked files of the working tree, as they are there now (one deleted
    but not yet committed stays out)."""
    if not (ROOT / ".git").exists():
        raise SystemExit(f"{ROOT} is not a git checkout: the sdist is made from the files git tracks")
    listing = run(["git", "-C", ROOT, "ls-files", "-z"], capture_output=True, text=True).stdout
    return [name for name in listing.split("\0") if name and (ROOT / name).is_file()]


def build_sdist(dist):
    """The sdist in `dist` (replacing an older one), checked by twine."""
    dist.mkdir(parents=True, exist_ok=True)
    for old in dist.glob("vorna-*.tar.gz"):
        old.unlink()
    (ROOT / "build").mkdir(exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="sdist-tree-", dir=ROOT / "build") as tree:
        for name in tracked_files():
            (Path(tree) / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, Path(tree) / name)
        run_shown([sys.executable, "-m", "build", "--sdist", "--no-isolation", "-o", dist, tree])
    (sdist,) = dist.glob("vorna-*.tar.gz")
    run_shown([BIN / "twine", "check", "--strict", sdist])
    return sdist


def unpack(sdist, dest, keep=None):
    """Makes `dest` hold the sdist's files and nothing else (but the folder
    `keep` names, such as the build folders inside it), rewriting only the files
    whose content changed, so that a build folder made from `dest` before
    rebuilds exactly what changed."""
    wanted = set()
    with tarfile.open(sdist) as archive:
        for member in archive.getmembers():
            relative = Path(*Path(member.name).parts[1:])  # below vorna-X.Y.Z/
            if not member.isfile() or ".." in relative.parts:
                continue
            wanted.add(relative)
            data = archive.extractfile(member).read()
            target = dest / relative
            if target.is_file() and target.read_bytes() == data:
                continue
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(data)
            os.chmod(target, member.mode & 0o755)
    for path in sorted(dest.rglob("*"), reverse=True):
        if keep and path.relative_to(dest).parts[:1] == (keep,):
            continue
        if path.is_file() and path.relative_to(dest) not in wanted:
            path.unlink()
        elif path.is_dir() and not any(path.iterdir()):
            path.rmdir()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dist", type=Path, default=ROOT / "dist")
    args = parser.parse_args()
    sdist = build_sdist(args.dist.resolve())
    with tarfile.open(sdist) as archive:
        count = sum(member.isfile() for member in archive.getmembers())
    print(f"{sdist}: {count} files, twine check passed")


if __name__ == "__main__":
    main()
