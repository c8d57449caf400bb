# Mounts under a Debian root (tools/latest_root.sh, tools/debian_root.sh) that
# last for one run: each is undone in reverse order on every way out, and the
# leftovers of a run killed before it could undo them are undone first.
# Sourced by tools/in_root.sh and tools/root_terminal.sh, not run.
#
#   unmount_stale ROOT          unmount whatever is still mounted under ROOT
#   mount_at TARGET ARGS...     mount (ARGS as mount(8) takes them) at TARGET
#   mount_terminals ROOT        a devpts of its own at ROOT/dev/pts, with
#                               ROOT/dev/ptmx opening it

# Mount points, innermost last.
mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    # A lazy detach when a process still holds the mount: the root must never
    # keep a host directory mounted, or removing the root would reach into it.
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" \
      || echo "$(basename "$0"): could not unmount ${mounted[i]}" >&2
  done
  mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mount_at() {
  local target=$1
  shift
  mkdir -p "$target"
  mount "$@" "$target" || return
  mounted+=("$target")
}

unmount_stale() { # deepest first
  awk -v root="$1/" 'index($5, root) == 1 { print $5 }' /proc/self/mountinfo | sort -r \
    | while read -r stale; do umount -l "$stale"; done
}

# A pseudo-terminal opened inside the root (through a chroot, or by qemu-user,
# which looks for /dev/ptmx and /dev/pts/N under the root first) needs a
# devpts at ROOT/dev/pts: the kernel finds the terminals of ptmx in the pts
# folder beside it, and an empty folder there fails the open with ENODEV. The
# instance is the root's own, so the host's terminals stay out of sight.
mount_terminals() {
  local root=$1
  mount_at "$root/dev/pts" -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts || return
  # debootstrap makes the device node; a root without one is given the link
  # the kernel documents for a devpts of its own.
  [ -e "$root/dev/ptmx" ] || ln -s pts/ptmx "$root/dev/ptmx"
}
