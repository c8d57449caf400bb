#!/usr/bin/env bash
# Both suites against a build by clang with libc++ (the preset clang, in
# build/clang), as macOS and the BSDs compile the sdist: the C++ core with its
# GoogleTest suite (GoogleTest itself built from Debian's sources with the same
# compiler and library, since the packaged one is built for libstdc++) and the
# extension with the fault-injection hooks, run against the Python suite.
# The extension names libgcc_s before libc++: Debian's libc++abi unwinds with
# LLVM's libunwind, while glibc's pthread_exit (the interpreter ending a
# thread) unwinds with libgcc_s, and one frame must not meet both; with
# libgcc_s first, the process has one unwinder, as macOS and the BSDs do.
# Warnings are errors.
#
#   tools/test_clang.sh VENV
#   JOBS  parallel compiler processes and tests (default 2)
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"
venv=$(realpath "$1")
export PATH="$venv/bin:$PATH"
jobs=${JOBS:-2}

cmake --preset clang -Wno-deprecated -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
echo "building the core, its tests and the extension with $(clang++-16 --version | head -1) and libc++ (about 4 minutes the first time)"
cmake --build --preset clang -j "$jobs" | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
log=build/clang/ctest.log
if ctest --test-dir build/clang -j "$jobs" >"$log" 2>&1; then
    echo "C++ suite (clang, libc++): $(grep -E '^[0-9]+% tests passed' "$log")"
else
    grep -Ev '^ *Start +[0-9]+: | Passed +[0-9.]+ sec$' "$log"
    exit 1
fi
# The build folder comes before the virtualenv's own vorna on the path.
PYTHONPATH=build/clang "$venv/bin/python" -c 'import sys, vorna; sys.exit(not vorna.__file__.startswith(sys.argv[1]))' "$root/build/clang/" ||
    { echo "the Python suite would not import build/clang's extension" >&2; exit 1; }
echo "Python suite against the clang build:"
PYTHONPATH=build/clang "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python
