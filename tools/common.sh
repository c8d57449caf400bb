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
    if [[ $(id -u) != 0 ]]; then
        if ! command -v sudo >/dev/null; then
            echo "missing Debian packages: ${missing[*]}" >&2
            echo "install them as root (no sudo here), then run this again:" >&2
            echo "    apt-get install --no-install-recommends ${missing[*]}" >&2
            return 1
        fi
        sudo=sudo
    fi
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

# Runs the per-interpreter checks (`make per-python`) for one interpreter,
# its output also in the file `log`, then adds its summary line (pytest's
# closing line and the type check's verdict) to the caller's `summary` and
# sets the caller's `failed` when the checks fail.
#   check_interpreter VERSION EXE VENV LOG
check_interpreter() {
    local version=$1 exe=$2 venv=$3 log=$4 status result
    echo "=== Python $version ($exe) in $venv"
    "${MAKE:-make}" --no-print-directory -C "$root" per-python PYTHON="$exe" VENV="$venv" </dev/null 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    result=$(grep -E '^[0-9]+ (passed|failed)|^[0-9]+ .* in [0-9.]+s( \([0-9:]+\))?$|^typecheck: ' "$log" |
        paste -sd '|' - | sed 's/|/; /g')
    if ((status != 0)); then
        failed=1
        result="FAILED: ${result:-see $log}"
    fi
    summary+="  Python $version: $result"$'\n'
}
