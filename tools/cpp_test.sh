#!/usr/bin/env bash
# Builds the C++ core and its GoogleTest suite (the preset cpp, in build/cpp)
# and runs it. ctest's log stays in build/cpp/ctest.log: a passing run shows
# its summary line, a failing one the failures with their output.
#
#   VENV  the virtualenv that holds cmake and ninja (default .venv)
#   JOBS  parallel compiler processes and tests (default 2)
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"
export PATH="$(realpath "${VENV:-.venv}")/bin:$PATH"
jobs=${JOBS:-2}

cmake --preset cpp >/dev/null
echo "building the C++ core and its tests (about 3 minutes the first time)"
cmake --build --preset cpp -j "$jobs" | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
log=build/cpp/ctest.log
if ctest --preset cpp -j "$jobs" >"$log" 2>&1; then
    echo "C++ suite: $(grep -E '^[0-9]+% tests passed' "$log")"
else
    grep -Ev '^ *Start +[0-9]+: | Passed +[0-9.]+ sec$' "$log"
    exit 1
fi
