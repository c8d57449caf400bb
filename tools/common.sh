# Shared by the scripts of tools/: the repository root, the installation of
# missing Debian packages and the lock that keeps one virtualenv's changes
# from overlapping. Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Installs the named Debian packages that are not installed yet.
apt_install() {
    local missing=() p sudo=""
    for p in "$@"; do
        [[ -n "$p" ]] || continue
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    command -v apt-get >/dev/null || { echo "missing: ${missing[*]} (no apt-get here: install them by hand)" >&2; return 1; }
    [[ $(id -u) == 0 ]] || sudo=sudo
    echo "installing with apt: ${missing[*]} (about a minute)"
    # One apt at a time, whatever number of targets ask at once.
    mkdir -p "$root/build"
    flock "$root/build/.apt.lock" bash -c "$sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends ${missing[*]} >/dev/null"
}

# Runs a command holding the lock of virtualenv $1, so that two makes (or two
# targets of one `make -j`) never create or install into it at once.
with_venv_lock() {
    local venv=$1
    shift
    mkdir -p "$(dirname "$venv")"
    flock "$venv.lock" "$@"
}
