#!/usr/bin/env bash
# Builds a Debian root holding CPythons with their headers and venv support,
# for building and testing wheels for interpreters this machine lacks: arm64
# ones run under qemu-user, amd64 ones through the root's own dynamic loader.
#
#     tools/debian_root.sh ARCH ROOT_DIR SUITE [X.Y ...]
#
# ARCH is a Debian architecture (arm64, amd64).
# SUITE is a Debian suite (bullseye, bookworm, sid); each X.Y adds CPython X.Y with its
# headers and venv support, and without any the suite's default python3 is
# taken.
# debootstrap --foreign fetches the packages and their dependencies; instead of
# its second stage (which runs every maintainer script under emulation and
# needs binfmt_misc), the packages are unpacked straight into the root, which
# is all that running the root's interpreter from the host needs
# (tools/root_python.sh).
# A finished root is kept and reused by later runs.
set -euo pipefail

[ $# -ge 3 ] || { echo "usage: $0 ARCH ROOT_DIR SUITE [X.Y ...]"; exit 2; }
arch="$1"
root="$2"
suite="$3"
shift 3
packages=python3,python3-venv,python3-dev
if [ $# -gt 0 ]; then
  packages=$(for version in "$@"; do printf 'python%s,python%s-venv,python%s-dev,' "$version" "$version" "$version"; done)
  # pip reads distutils on CPython 3.9, which Debian ships apart (for its
  # default python3 only, as bullseye's 3.9 is).
  case " $* " in *" 3.9 "*) packages+=python3-distutils, ;; esac
  packages=${packages%,}
fi
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"

if [ -f "$root/.ready" ]; then
  echo "debian root: reusing $root ($(cat "$root/.ready"))"
  exit 0
fi
for tool in debootstrap dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "debian root: $tool is missing"; exit 1; }
done

# A run of tools/root_terminal.sh mounts a devpts inside while it lasts.
if awk -v r="$(realpath -m "$root")/" 'index($5, r) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
  echo "debian root: $root has something mounted inside; unmount it before it is made again"
  exit 1
fi
echo "debian root: fetching Debian $suite $arch with $packages into $root (about 2 minutes)"
rm -rf --one-file-system "$root"
mkdir -p "$root"
debootstrap --arch="$arch" --foreign --variant=minbase --include="$packages" \
  "$suite" "$root" "$mirror" > "$root.debootstrap.log" 2>&1 \
  || { tail -20 "$root.debootstrap.log"; exit 1; }

echo "debian root: unpacking the packages"
for deb in "$root"/var/cache/apt/archives/*.deb; do
  dpkg-deb -x "$deb" "$root"
done

# The interpreters the root holds, by version; each must start from here.
pythons=$(cd "$root/usr/bin" && ls python3.* 2>/dev/null | grep -E '^python3\.[0-9]+$' | sort -V)
test -n "$pythons" || { echo "debian root: no python3.X in $root/usr/bin"; exit 1; }
for exe in $pythons; do
  "$(dirname "$0")/root_python.sh" "$root" "$exe" -c 'import venv, ensurepip' \
    || { echo "debian root: $exe does not run from here"; exit 1; }
done
echo "$suite: $(echo $pythons)" > "$root/.ready"
echo "debian root: ready ($(cat "$root/.ready"))"
