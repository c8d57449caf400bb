#!/usr/bin/env bash
# Runs a Windows GoogleTest executable once under Wine, headless, and exits
# non-zero when a test fails or the executable crashes.
#
#   tools/run_under_wine.sh PROGRAM.exe [ARGUMENTS...]
#
# WINEPREFIX defaults to build/wineprefix; it is made on first use. The run:
# - keeps Wine's crash debugger out (WINEDLLOVERRIDES=winedbg.exe=d), so a
#   crash ends the program with a failing status instead of a status of 0;
# - starts one persistent wineserver with a warm-up call first (a server that
#   gets no warm-up call can hold a pipe open for ever) and always stops it
#   with `wineserver -k` at the end;
# - gives the program a pseudo-terminal as standard input, from which Wine
#   makes a console for the console tests, while the program's output goes to
#   a file (a captured stream costs seconds per process under Wine).
set -euo pipefail

program=$(realpath "$1")
shift
root=$(cd "$(dirname "$0")/.." && pwd)

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
export VORNA_TEST_CONSOLE=1  # the console tests fail rather than skip without a console
unset DISPLAY WAYLAND_DISPLAY

log=$(mktemp)
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -f "$log"
}
trap cleanup EXIT

mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true  # a server left over from an interrupted run
wineserver -p
wine cmd /c exit >/dev/null 2>&1

command=$(printf '%q ' wine "$program" "$@")
status=0
timeout 1200 script -qec "$command >$(printf '%q' "$log") 2>&1" /dev/null </dev/null >/dev/null || status=$?
cat "$log"
if [ "$status" -ne 0 ]; then
    echo "run_under_wine: $(basename "$program") failed (status $status)" >&2
    exit 1
fi
if ! grep -q '^\[  PASSED  \]' "$log"; then
    echo "run_under_wine: $(basename "$program") did not report its results" >&2
    exit 1
fi
