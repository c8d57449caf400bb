#!/usr/bin/env bash
# Runs one command inside a root made by tools/latest_root.sh, as root, with a
# clean environment. /proc, /dev and /dev/pts (and any --bind directories) are
# mounted for this run only and unmounted again on every way out.
#
#   tools/in_root.sh ROOT_DIR [--bind HOST_DIR:PATH]... [--env NAME=VALUE]... -- COMMAND [ARG]...
#
# The command sees only HOME, PATH, LANG, the --env variables and, when set
# here, TERM: this machine's variables (pip's, compilers', proxies') name
# folders and tools that exist only outside the root.
set -euo pipefail

die() { echo "in_root.sh: $*" >&2; exit 2; }

[ $# -ge 1 ] || die "usage: tools/in_root.sh ROOT_DIR [--bind HOST_DIR:PATH]... [--env NAME=VALUE]... -- COMMAND [ARG]..."
[ "$(id -u)" = 0 ] || die "needs root (chroot and mount)"
root=$(realpath -m "$1"); shift
[ -x "$root/usr/bin/env" ] || die "$root is not a ready root; make it with tools/latest_root.sh"

binds=() envs=()
while [ $# -gt 0 ]; do
  case $1 in
    --bind) [ $# -ge 2 ] || die "--bind needs HOST_DIR:PATH"; binds+=("$2"); shift 2 ;;
    --env) [ $# -ge 2 ] || die "--env needs NAME=VALUE"; envs+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) die "unknown option $1" ;;
  esac
done
[ $# -ge 1 ] || die "no command given"

source "$(dirname "$0")/root_mounts.sh"

unmount_stale "$root"
mount_at "$root/proc" -t proc proc
mount_at "$root/dev" --bind /dev
mount_at "$root/dev/pts" --bind /dev/pts
for bind in "${binds[@]}"; do
  host_dir=${bind%%:*} path=${bind#*:}
  [ -d "$host_dir" ] && [ "${path#/}" != "$path" ] || die "--bind $bind: want an existing HOST_DIR and an absolute PATH"
  mount_at "$root$path" --bind "$host_dir"
done

clean_env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8)
[ -n "${TERM:-}" ] && clean_env+=("TERM=$TERM")
# Not exec: the trap has to run after the command.
status=0
env -i "${clean_env[@]}" "${envs[@]}" chroot "$root" "$@" || status=$?
exit $status
