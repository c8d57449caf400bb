#!/usr/bin/env bash
# Runs inside the root made by tools/latest_root.sh, with the checkout at /src
# (make test-latest puts it there): builds vorna and runs the Python suite and
# the type checks on CPython 3.14 and 3.15 and on their debug builds, each in
# its own virtualenv /src/.venv-<version>. Every interpreter runs even when one
# fails; one summary line per interpreter comes last.
#
#   tools/latest_checks.sh [VERSION]...     (default: 3.14 3.15 3.14d 3.15d)
set -uo pipefail

source "$(dirname "$0")/common.sh"
cd "$root"
versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=(3.14 3.15 3.14d 3.15d)
mkdir -p build
export JOBS=${JOBS:-2}

failed=0 summary=""
for version in "${versions[@]}"; do
  exe=/usr/bin/python$version
  if [ ! -x "$exe" ]; then
    echo "=== Python $version ($exe) in .venv-$version"
    failed=1 summary+="  Python $version: FAILED: $exe is not installed"$'\n'
    continue
  fi
  check_interpreter "$version" "$exe" ".venv-$version" "build/latest-checks-$version.log"
done
echo "=== Python checks per interpreter (Debian unstable root)"
printf '%s' "$summary"
exit $failed
