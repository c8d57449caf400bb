#!/usr/bin/env python3
"""Puts Debian unstable's qemu-aarch64 (statically linked) under DIR and prints its path:

    tools/qemu_user.py DIR

The arm64 roots' interpreters run under qemu-user (tools/root_python.sh). A C library of glibc
2.42 or later, as Debian unstable's is, asks a terminal for its settings with the termios2
ioctls, which bookworm's qemu-user (7.2) answers with ENOSYS: under it isatty() is false on
every pseudo-terminal, and a program cannot tell that it runs on one. Unstable's qemu-user
passes those ioctls on. Fetched once; when it cannot be had, this machine's qemu-aarch64-static
is printed instead, with the reason on standard error.
"""
import http.client
import lzma
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.request
from pathlib import Path

MIRROR = os.environ.get("DEBIAN_MIRROR", "http://deb.debian.org/debian").rstrip("/")
FALLBACK = "qemu-aarch64-static"


def package_path(index, name):
    """The pool path of package `name` in a Packages index."""
    for stanza in index.split("\n\n"):
        fields = dict(line.split(": ", 1) for line in stanza.splitlines() if ": " in line and line[0] != " ")
        if fields.get("Package") == name:
            return fields["Filename"]
    raise LookupError(f"{name} is not in Debian unstable's index")


def fetch(directory):
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True, check=True).stdout.strip()
    with urllib.request.urlopen(f"{MIRROR}/dists/sid/main/binary-{arch}/Packages.xz", timeout=120) as response:
        index = lzma.decompress(response.read()).decode("utf-8", "replace")
    with tempfile.TemporaryDirectory() as tmp:
        deb = Path(tmp, "qemu-user.deb")
        with urllib.request.urlopen(f"{MIRROR}/{package_path(index, 'qemu-user')}", timeout=600) as response:
            with deb.open("wb") as out:
                shutil.copyfileobj(response, out)
        unpacked = Path(tmp, "unpacked")
        subprocess.run(["dpkg-deb", "-x", str(deb), str(unpacked)], check=True)
        directory.mkdir(parents=True, exist_ok=True)
        staged = directory / "qemu-aarch64.part"
        shutil.copy2(unpacked / "usr/bin/qemu-aarch64", staged)
        staged.replace(directory / "qemu-aarch64")


def main():
    directory = Path(sys.argv[1]).resolve()
    exe = directory / "qemu-aarch64"
    if not exe.exists():
        try:
            fetch(directory)
        except (OSError, http.client.HTTPException, LookupError, subprocess.CalledProcessError,
                lzma.LZMAError) as error:
            print(f"qemu_user.py: Debian unstable's qemu-user could not be had ({error}); "
                  f"using {FALLBACK}, under which the terminal tests of unstable's roots skip", file=sys.stderr)
            print(FALLBACK)
            return
    print(exe)


if __name__ == "__main__":
    main()
