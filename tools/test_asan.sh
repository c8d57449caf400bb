#!/usr/bin/env bash
# The extension built with AddressSanitizer and UBSan (the preset asan, in
# build/asan) and the Python suite run under it.
#
#   tools/test_asan.sh VENV
#   JOBS  parallel compiler processes (default 2)
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"
venv=$(realpath "$1")
export PATH="$venv/bin:$PATH"
cmake --preset asan -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
cmake --build --preset asan -j "${JOBS:-2}"
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)" \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    PYTHONMALLOC=malloc PYTHONPATH=build/asan VORNA_ASAN=1 \
    "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python
