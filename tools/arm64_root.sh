#!/usr/bin/env bash
# Builds an arm64 Debian root holding CPython with venv support, for running
# aarch64 wheels under qemu-user from this (x86_64) host:
#
#     tools/arm64_root.sh ROOT_DIR SUITE [X.Y ...]
#
# SUITE is a Debian suite (bookworm, sid); each X.Y adds CPython X.Y with its
# headers and venv support, and without any the suite's default python3 is
# taken.
# debootstrap --foreign fetches the packages and their dependencies; instead of
# its second stage (which runs every maintainer script under emulation and
# needs binfmt_misc), the packages are unpacked straight into the root, which
# is all that QEMU_LD_PREFIX needs to run the root's interpreter from the host.
# A finished root is kept and reused by later runs.
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 ROOT_DIR SUITE [X.Y ...]"; exit 2; }
root="$1"
suite="$2"
shift 2
packages=python3,python3-venv,python3-dev
if [ $# -gt 0 ]; then
  packages=$(for version in "$@"; do printf 'python%s,python%s-venv,python%s-dev,' "$version" "$version" "$version"; done)
  packages=${packages%,}
fi
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"

if [ -f "$root/.ready" ]; then
  echo "arm64 root: reusing $root ($(cat "$root/.ready"))"
  exit 0
fi
for tool in debootstrap qemu-aarch64-static dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "arm64 root: $tool is missing"; exit 1; }
done

echo "arm64 root: fetching Debian $suite arm64 with $packages into $root (about 2 minutes)"
rm -rf "$root"
mkdir -p "$root"
debootstrap --arch=arm64 --foreign --variant=minbase --include="$packages" \
  "$suite" "$root" "$mirror" > "$root.debootstrap.log" 2>&1 \
  || { tail -20 "$root.debootstrap.log"; exit 1; }

echo "arm64 root: unpacking the packages"
for deb in "$root"/var/cache/apt/archives/*.deb; do
  dpkg-deb -x "$deb" "$root"
done

# The interpreters the root holds, by version; each must start under qemu.
pythons=$(cd "$root/usr/bin" && ls python3.* 2>/dev/null | grep -E '^python3\.[0-9]+$' | sort -V)
test -n "$pythons" || { echo "arm64 root: no python3.X in $root/usr/bin"; exit 1; }
for exe in $pythons; do
  QEMU_LD_PREFIX="$(realpath "$root")" qemu-aarch64-static "$root/usr/bin/$exe" -c 'import platform, venv, ensurepip; print(platform.machine())' \
    | grep -qx aarch64 || { echo "arm64 root: $exe does not run under qemu"; exit 1; }
done
echo "$suite: $(echo $pythons)" > "$root/.ready"
echo "arm64 root: ready ($(cat "$root/.ready"))"
