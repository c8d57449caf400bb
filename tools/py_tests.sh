#!/usr/bin/env bash
# The per-interpreter checks (`make per-python`) on every CPython 3.9 to 3.15
# found (tools/find_pythons.sh), each in its own virtualenv: PRIMARY keeps
# PRIMARY_VENV, any other interpreter 3.X gets PRIMARY_VENV-3.X. All
# interpreters run even when one fails; a summary line each comes last, and
# each run's log stays in BUILD/checks-<version>.log.
#
#   tools/py_tests.sh PRIMARY PRIMARY_VENV BUILD
set -uo pipefail
source "$(dirname "$0")/common.sh"
primary=$(realpath "$("$1" -c 'import sys; print(sys.executable)')")
primary_venv=$2 build=$3

pythons=$("$root/tools/find_pythons.sh")
[[ -n "$pythons" ]] || { echo "no CPython 3.9 to 3.15 found"; exit 1; }
mkdir -p "$build"
failed=0
summary=""
while read -r version exe; do
    if [[ "$(realpath "$exe")" == "$primary" ]]; then venv=$primary_venv; else venv=$primary_venv-$version; fi
    check_interpreter "$version" "$exe" "$venv" "$build/checks-$version.log"
done <<<"$pythons"
echo "=== Python checks per interpreter"
printf '%s' "$summary"
exit $failed
