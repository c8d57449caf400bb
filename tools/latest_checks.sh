#!/usr/bin/env bash
# Runs inside the root made by tools/latest_root.sh, with the checkout at /src
# (make test-latest puts it there): builds vorna and runs the Python suite and
# the type checks on CPython 3.14 and 3.15 and on their debug builds, each in
# its own virtualenv /src/.venv-<version>. Every interpreter runs even when one
# fails; one summary line per interpreter comes last.
#
#   tools/latest_checks.sh [VERSION]...     (default: 3.14 3.15 3.14d 3.15d)
set -uo pipefail

cd "$(dirname "$0")/.."
versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=(3.14 3.15 3.14d 3.15d)
mkdir -p build

failed=0 summary=""
for version in "${versions[@]}"; do
  exe=/usr/bin/python$version venv=.venv-$version log=build/latest-checks-$version.log
  echo "=== Python $version ($exe) in $venv"
  if [ ! -x "$exe" ]; then
    failed=1 summary+="  Python $version: FAILED: $exe is not installed"$'\n'
    continue
  fi
  make --no-print-directory per-python PYTHON="$exe" VENV="$venv" JOBS="${JOBS:-2}" </dev/null 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  result=$(grep -E '^[0-9]+ (passed|failed)|^[0-9]+ .* in [0-9.]+s( \([0-9:]+\))?$|^typecheck: ' "$log" | paste -sd '|' - | sed 's/|/; /g')
  if [ "$status" != 0 ]; then failed=1 result="FAILED: ${result:-see $log}"; fi
  summary+="  Python $version: $result"$'\n'
done
echo "=== Python checks per interpreter (Debian unstable root)"
printf '%s' "$summary"
exit $failed
