#!/usr/bin/env bash
# The core and its GoogleTest suite cross-built for 64-bit Windows with
# mingw-w64 (the preset windows, in build/windows) and run once under Wine,
# headless.
#
#   tools/test_windows.sh VENV
#   JOBS  parallel compiler processes (default 2)
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"
apt_install libgtest-dev g++-mingw-w64-x86-64-posix wine wine64
export PATH="$(realpath "$1")/bin:$PATH"
cmake --preset windows -Wno-deprecated >/dev/null
cmake --build --preset windows -j "${JOBS:-2}"
WINEPREFIX="$root/build/wineprefix" tools/run_under_wine.sh build/windows/vorna_core_tests.exe --gtest_brief=1
