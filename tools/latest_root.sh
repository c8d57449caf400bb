#!/usr/bin/env bash
# Makes a Debian unstable root that carries the newest CPythons, 3.14 and 3.15,
# each as a release and a debug (Py_DEBUG) build with its headers and venv
# support, plus a C++ compiler. Idempotent: a ready root is reused and only
# its network settings are refreshed.
#
#   tools/latest_root.sh [ROOT_DIR]        (default build/latest-root)
#
# Needs root. The root reaches the Debian mirror that this machine's apt uses
# (LATEST_ROOT_MIRROR overrides it) and pip's registry with this machine's CA
# certificates and network-facing pip settings; nothing of this machine's apt
# sources, nor pip settings that name local folders, goes in.
# Commands are run inside with tools/in_root.sh.
set -euo pipefail

die() { echo "latest_root.sh: $*" >&2; exit 1; }

root=$(realpath -m "${1:-build/latest-root}")
tools_dir=$(dirname "$(realpath "$0")")
[ "$(id -u)" = 0 ] || die "needs root (debootstrap, chroot and mount)"

# What the checks need inside; a change of this list installs the difference
# on the next run.
packages=(
  ca-certificates g++ make
  python3.14 python3.14-dev python3.14-venv python3.14-dbg
  python3.15 python3.15-dev python3.15-venv python3.15-dbg
)

# The first Debian archive URI of this machine's apt sources (deb822 or
# one-line form), skipping the security archive.
host_mirror() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    case $f in
      *.sources) awk 'tolower($1) == "uris:" { for (i = 2; i <= NF; i++) print $i }' "$f" ;;
      *) awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; break } }' "$f" ;;
    esac
  done | grep -E '/debian/?$' | head -n 1 || true
}

if ! command -v debootstrap >/dev/null; then
  echo "installing debootstrap with apt"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

mirror=${LATEST_ROOT_MIRROR:-$(host_mirror)}
[ -n "$mirror" ] || die "no Debian mirror found in /etc/apt; set LATEST_ROOT_MIRROR"

# A root is complete once debootstrap has finished (its marker written after);
# an interrupted one is removed and made again.
if [ ! -f "$root/.debootstrap-done" ]; then
  if [ -e "$root" ]; then
    if awk -v r="$root/" 'index($5, r) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
      die "$root has something mounted inside; unmount it before it is made again"
    fi
    echo "removing the incomplete root $root"
    rm -rf --one-file-system "$root"
  fi
  echo "making a Debian unstable root in $root from $mirror (a few minutes)"
  mkdir -p "$(dirname "$root")"
  debootstrap --variant=minbase sid "$root" "$mirror" > "$root.debootstrap.log" 2>&1 \
    || die "debootstrap failed; see $root.debootstrap.log"
  rm -f "$root.debootstrap.log"
  touch "$root/.debootstrap-done"
fi

# Inside the root only: the mirror's unstable Release may carry a Valid-Until
# date already past.
echo 'Acquire::Check-Valid-Until "false";' > "$root/etc/apt/apt.conf.d/99no-check-valid-until"
echo "deb $mirror sid main" > "$root/etc/apt/sources.list"
rm -f "$root"/etc/apt/sources.list.d/*

# Name resolution, and the CA certificates this machine adds to the system
# store (an intercepting proxy's among them), for pip's HTTPS.
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/usr/local/share/ca-certificates"
find "$root/usr/local/share/ca-certificates" -mindepth 1 -delete
if compgen -G '/usr/local/share/ca-certificates/*' >/dev/null; then
  cp -rL /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
fi

# pip's settings that concern the network (index, timeout, trusted hosts),
# taken from this machine's pip configuration and PIP_* variables; local
# folders and file:// indexes are left out, as are constraint files, and the
# certificate bundle is the root's own system store.
{
  echo "[global]"
  echo "cert = /etc/ssl/certs/ca-certificates.crt"
  pip_cmd=$(command -v pip3 || command -v pip || true)
  if [ -n "$pip_cmd" ]; then
    "$pip_cmd" config list 2>/dev/null | while IFS= read -r line; do
      key=${line%%=*} key=${key##*.} value=${line#*=} value=${value#\'} value=${value%\'}
      case $key in
        index-url | extra-index-url | trusted-host | timeout | default-timeout | retries | proxy) ;;
        *) continue ;;
      esac
      kept=()
      for word in $value; do
        case $word in file:* | /*) ;; *) kept+=("$word") ;; esac
      done
      if [ ${#kept[@]} -gt 0 ]; then echo "$key = ${kept[*]}"; fi
    done | awk -F' = ' '!seen[$1]++'
  fi
} > "$root/etc/pip.conf"

stamp="$root/.packages-installed"
want=$(printf '%s\n' "${packages[@]}")
if [ "$(cat "$stamp" 2>/dev/null)" != "$want" ]; then
  echo "installing into the root: ${packages[*]} (a few minutes)"
  "$tools_dir/in_root.sh" "$root" --env DEBIAN_FRONTEND=noninteractive -- \
    sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@" >/dev/null' sh "${packages[@]}"
  printf '%s\n' "$want" > "$stamp"
fi
"$tools_dir/in_root.sh" "$root" -- update-ca-certificates >/dev/null 2>&1 \
  || die "update-ca-certificates failed in the root"
echo "root ready: $root ($(chroot "$root" /bin/sh -c 'python3.14 -V; python3.15 -V' | paste -sd ' ' - | sed 's/ Python/, Python/'))"
