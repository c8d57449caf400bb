#!/usr/bin/env bash
# Makes a machine ready to build and test, installing only what is missing.
#
#   tools/setup.sh build-deps PYTHON   a C++ compiler, and the headers and venv
#                                      support of PYTHON when it is the system's
#                                      interpreter (pyenv's builds carry both)
#   tools/setup.sh apt PACKAGE...      the named Debian packages
#   tools/setup.sh venv PYTHON VENV PACKAGE...
#                                      the virtualenv VENV of PYTHON with the
#                                      packages; done once, marked by VENV/.ready
#   tools/setup.sh pip VENV MARK PACKAGE...
#                                      more packages into VENV, then VENV/MARK
#                                      touched (the Makefile decides when)
set -euo pipefail
source "$(dirname "$0")/common.sh"

command=$1
shift
case $command in
    build-deps)
        python=${1:-}
        [[ -n "$python" ]] || { echo "no Python interpreter found; set PYTHON=..." >&2; exit 1; }
        version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
        need=()
        command -v g++ >/dev/null || need+=(g++)
        "$python" -c 'import os, sys, sysconfig; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' \
            || need+=("python$version-dev")
        "$python" -c 'import ensurepip, venv' 2>/dev/null || need+=("python$version-venv")
        apt_install "${need[@]}"
        ;;
    apt)
        apt_install "$@"
        ;;
    venv)
        python=$1 venv=$2
        shift 2
        make_venv() {
            [[ -f "$venv/.ready" && "$venv/.ready" -nt "$root/pyproject.toml" ]] && return 0
            echo "creating $venv for $("$python" -V) with the build and test tools (about 30 s)"
            "$python" -m venv "$venv"
            "$venv/bin/python" -m pip install -q --upgrade pip
            "$venv/bin/python" -m pip install -q "$@"
            touch "$venv/.ready"
        }
        with_venv_lock "$venv" bash -c "$(declare -f make_venv); python='$python' venv='$venv' root='$root'; make_venv \"\$@\"" _ "$@"
        ;;
    pip)
        venv=$1 mark=$2
        shift 2
        add_packages() {
            echo "installing $* into $venv (about 30 s the first time)"
            "$venv/bin/python" -m pip install -q "$@"
            touch "$venv/$mark"
        }
        with_venv_lock "$venv" bash -c "$(declare -f add_packages); venv='$venv' mark='$mark'; add_packages \"\$@\"" _ "$@"
        ;;
    *)
        echo "tools/setup.sh: unknown command $command" >&2
        exit 2
        ;;
esac
