#!/usr/bin/env bash
# Runs a command of this machine while a Debian root (tools/debian_root.sh)
# has pseudo-terminals: the root's interpreters started by tools/root_python.sh
# (under qemu-user for arm64) open /dev/ptmx and /dev/pts/N inside the root.
# The devpts is mounted for this run only and unmounted on every way out.
#
#   tools/root_terminal.sh ROOT_DIR -- COMMAND [ARG]...
#
# Where it cannot be mounted (not root, or a container that forbids it) the
# command runs all the same, with a warning: the tests that need a terminal
# then skip and say why.
set -euo pipefail

die() { echo "root_terminal.sh: $*" >&2; exit 2; }

[ $# -ge 3 ] && [ "$2" = -- ] || die "usage: tools/root_terminal.sh ROOT_DIR -- COMMAND [ARG]..."
root=$(realpath -m "$1")
shift 2
[ -d "$root/dev" ] || die "$root has no dev folder; make it with tools/debian_root.sh"
source "$(dirname "$0")/root_mounts.sh"

if [ "$(id -u)" != 0 ]; then
  echo "root_terminal.sh: no devpts in $root without root; the terminal tests will skip" >&2
elif ! { unmount_stale "$root" && mount_terminals "$root"; }; then
  echo "root_terminal.sh: no devpts in $root (see above); the terminal tests will skip" >&2
fi
# Not exec: the trap has to run after the command.
status=0
"$@" || status=$?
exit $status
