#!/usr/bin/env bash
# Prints the CPython interpreters from 3.9 to 3.15 found on this machine, one
# line each: "<version> <path>", oldest first. Looks at pyenv's versions and at
# the default python3; an interpreter reached by two names is listed once.
set -u

candidates=()
root="${PYENV_ROOT:-$(pyenv root 2>/dev/null || true)}"
if [ -n "$root" ]; then
  for minor in 9 10 11 12 13 14 15; do
    for exe in "$root"/versions/3."$minor".*/bin/python3."$minor"; do
      [ -x "$exe" ] && candidates+=("$exe")
    done
  done
fi
if default=$(command -v python3); then candidates+=("$default"); fi

probe='import os, platform, sys
ok = platform.python_implementation() == "CPython" and (3, 9) <= sys.version_info[:2] <= (3, 15)
if ok: print(platform.python_version(), os.path.realpath(sys.executable), sys.executable)'

for exe in "${candidates[@]}"; do
  # A pyenv shim may refuse (no version selected); such a candidate is skipped.
  "$exe" -c "$probe" 2>/dev/null
done | sort -t. -k1,1n -k2,2n -k3,3n | awk '!seen[$2]++ { print $1, $3 }'
