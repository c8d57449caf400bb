#!/usr/bin/env bash
# Runs an interpreter of a Debian root (tools/debian_root.sh) from this machine:
#
#     tools/root_python.sh [--argv0 PATH] ROOT_DIR python3.X [ARG ...]
#
# An arm64 root's interpreter runs under qemu-user, an amd64 one through the
# root's own dynamic loader and libraries; neither needs chroot or binfmt_misc.
# With --argv0 the interpreter takes PATH as its own path: a virtualenv's
# bin/python made of this command then finds its pyvenv.cfg, and whatever
# starts sys.executable comes back through here.
#
# A loader older than glibc 2.33 (bullseye's) cannot be given the program's
# argv[0]; such a root's interpreter runs from a copy that names the root's
# loader and library folders itself (made once with patchelf), started under
# the wanted argv[0].
set -eu

argv0=""
if [ "${1:-}" = "--argv0" ]; then argv0="$2"; shift 2; fi
[ $# -ge 2 ] || { echo "usage: $0 [--argv0 PATH] ROOT_DIR python3.X [ARG ...]" >&2; exit 2; }
root=$(realpath "$1")
name=$2
exe="$root/usr/bin/$name"
shift 2
[ -n "$argv0" ] || argv0="$exe"

if [ -d "$root/usr/lib/aarch64-linux-gnu" ]; then
  # VORNA_QEMU_AARCH64 names the qemu-user to run it under (tools/qemu_user.py).
  QEMU_LD_PREFIX="$root" exec "${VORNA_QEMU_AARCH64:-qemu-aarch64-static}" -0 "$argv0" "$exe" "$@"
elif [ -d "$root/usr/lib/x86_64-linux-gnu" ]; then
  # /lib and /usr/lib are separate folders before bookworm.
  libs="$root/lib/x86_64-linux-gnu:$root/usr/lib/x86_64-linux-gnu"
  loader=$(realpath "$root/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2")
  if "$loader" --help >/dev/null 2>&1; then # --help and --argv0 both came with 2.33
    exec "$loader" --library-path "$libs" --argv0 "$argv0" "$exe" "$@"
  fi
  bound="$root/usr/bin/.$name-bound"
  if [ ! -x "$bound" ] || [ "$(patchelf --print-interpreter "$bound")" != "$loader" ]; then
    command -v patchelf >/dev/null || { echo "root_python.sh: patchelf is needed for $root" >&2; exit 1; }
    cp "$exe" "$bound.$$"
    patchelf --set-interpreter "$loader" --force-rpath --set-rpath "$libs" "$bound.$$"
    mv -f "$bound.$$" "$bound"
  fi
  exec -a "$argv0" "$bound" "$@"
else
  echo "root_python.sh: $root is neither an arm64 nor an amd64 root" >&2
  exit 1
fi
