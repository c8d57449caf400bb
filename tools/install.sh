#!/usr/bin/env bash
# Builds the extension for the interpreter of a virtualenv and installs it
# there, with warnings as errors and the fault-injection hooks of the suite.
#
#   tools/install.sh VENV
#   JOBS  parallel compiler processes (default 2)
#   INSTALL_BUILD_DIR  the build folder (default build/install/{wheel_tag})
#
# The build folder is build/install/<wheel tag>, apart from the wheel's, so
# that installing and building the wheel for one interpreter may run at once.
# A folder configured for one virtualenv is built again in full for another.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"
venv=$(realpath "$1")
build_dir=${INSTALL_BUILD_DIR:-'build/install/{wheel_tag}'}
echo "building the extension for $("$venv/bin/python" -V) and installing it into $1 (about a minute the first time)"
PATH="$venv/bin:$PATH" CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-2} with_venv_lock "$venv" \
    "$venv/bin/python" -m pip install -q --no-build-isolation --no-deps . \
    -Cbuild-dir="$build_dir" -Ccmake.define.VORNA_WERROR=ON -Ccmake.define.VORNA_TEST_HOOKS=ON -Cbuild.verbose=false
