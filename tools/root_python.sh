#!/bin/sh
# Runs an interpreter of a Debian root (tools/debian_root.sh) from this machine:
#
#     tools/root_python.sh [--argv0 PATH] ROOT_DIR python3.X [ARG ...]
#
# An arm64 root's interpreter runs under qemu-user, an amd64 one through the
# root's own dynamic loader and libraries; neither needs chroot or binfmt_misc.
# With --argv0 the interpreter takes PATH as its own path: a virtualenv's
# bin/python made of this command then finds its pyvenv.cfg, and whatever
# starts sys.executable comes back through here.
set -eu

argv0=""
if [ "${1:-}" = "--argv0" ]; then argv0="$2"; shift 2; fi
[ $# -ge 2 ] || { echo "usage: $0 [--argv0 PATH] ROOT_DIR python3.X [ARG ...]" >&2; exit 2; }
root=$(realpath "$1")
exe="$root/usr/bin/$2"
shift 2
[ -n "$argv0" ] || argv0="$exe"

if [ -d "$root/usr/lib/aarch64-linux-gnu" ]; then
  QEMU_LD_PREFIX="$root" exec qemu-aarch64-static -0 "$argv0" "$exe" "$@"
elif [ -d "$root/usr/lib/x86_64-linux-gnu" ]; then
  libs="$root/usr/lib/x86_64-linux-gnu"
  exec "$libs/ld-linux-x86-64.so.2" --library-path "$libs" --argv0 "$argv0" "$exe" "$@"
else
  echo "root_python.sh: $root is neither an arm64 nor an amd64 root" >&2
  exit 1
fi
