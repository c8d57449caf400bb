#!/usr/bin/env bash
# Builds the wheel for the interpreter of a virtualenv, bound to glibc 2.17's
# symbols, repairs it with auditwheel to the manylinux2014 tag, checks it
# with twine and copies it to DIST.
#
#   tools/wheel.sh VENV OUT DIST
#   JOBS  parallel compiler processes (default 2)
#
# The raw wheel goes to OUT/raw, the repaired one to OUT/repaired; the build
# folder is build/wheel/<wheel tag>, apart from the installed extension's.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"
venv=$(realpath "$1") out=$2 dist=$3
echo "building the wheel for $("$venv/bin/python" -V) (about a minute the first time)"
rm -rf "$out/raw" "$out/repaired"
PATH="$venv/bin:$PATH" CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-2} \
    "$venv/bin/python" -m pip wheel -q --no-build-isolation --no-deps -w "$out/raw" . \
    -Cbuild-dir="build/wheel/{wheel_tag}" -Ccmake.define.VORNA_TEST_HOOKS=OFF -Ccmake.define.VORNA_GLIBC_2_17=ON -Cbuild.verbose=false
PATH="$venv/bin:$PATH" "$venv/bin/auditwheel" repair --plat "manylinux2014_$(uname -m)" -w "$out/repaired" "$out"/raw/vorna-*.whl
"$venv/bin/auditwheel" show "$out"/repaired/vorna-*.whl
"$venv/bin/twine" check --strict "$out"/repaired/vorna-*.whl
mkdir -p "$dist"
cp "$out"/repaired/vorna-*.whl "$dist/"
echo "wheel: $dist/$(basename "$out"/repaired/vorna-*.whl)"
