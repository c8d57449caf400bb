#!/usr/bin/env bash
# Builds the extension with clang, AddressSanitizer, UBSan and libFuzzer's
# coverage into build/fuzz-python/, then runs fuzz/fuzz_python.py under
# atheris for a bounded time from the committed seeds in fuzz/seeds/python/.
#
#   FUZZ_SECONDS  running time in seconds (default 180)
#   FUZZ_PYTHON   a CPython 3.9 (default: pyenv's, else python3.9); atheris
#                 2.3.0 ships wheels for 3.9 only
#   FUZZ_CXX      compiler (default clang++-16: the logging code needs
#                 std::source_location, which clang 14 cannot compile)
#   FUZZ_JOBS     parallel compiler processes (default 2)
#
# New corpus entries go to build/fuzz-python/corpus/, a failing input to
# build/fuzz-python/findings/, the run's log to build/fuzz-python/fuzz.log.
# Exits non-zero when the harness finds a fault.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz-python"
venv="$root/.venv-fuzz"
cxx=${FUZZ_CXX:-clang++-16}
jobs=${FUZZ_JOBS:-2}
seconds=${FUZZ_SECONDS:-180}
python=${FUZZ_PYTHON:-$(ls -d "$(pyenv root 2>/dev/null)"/versions/3.9.*/bin/python3.9 2>/dev/null | head -n 1)}
python=${python:-$(command -v python3.9 || true)}
[[ -n "$python" ]] || { echo "no CPython 3.9 found; set FUZZ_PYTHON" >&2; exit 2; }

if [[ ! -f "$venv/.ready" ]]; then
    "$python" -m venv "$venv"
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q "atheris==2.3.0" cmake ninja
    touch "$venv/.ready"
fi

# The runtime atheris builds with libFuzzer linked into ASan (UBSan's
# handlers included): preloaded, so the instrumented extension finds both.
runtime="$("$venv/bin/python" -c 'import atheris; print(atheris.path())')/asan_with_fuzzer.so"
# The extension, instrumented (the preset fuzz-python, built in
# build/fuzz-python/build). The preset leaves out UBSan's vptr checks, which
# need the C++ part of UBSan's runtime that the preloaded one lacks, and its
# function-type check, which predates the handler clang 16 calls.
cd "$root"
PATH="$venv/bin:$PATH" cmake --preset fuzz-python -DCMAKE_CXX_COMPILER="$cxx" -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
PATH="$venv/bin:$PATH" cmake --build --preset fuzz-python -j "$jobs"

mkdir -p "$out/corpus" "$out/findings"
echo "== fuzz_python for ${seconds}s (log: build/fuzz-python/fuzz.log)"
status=0
# test_function prints to the process's standard output: discard it.
LD_PRELOAD="$runtime" PYTHONMALLOC=malloc PYTHONPATH="$out/build" PYTHONIOENCODING=utf-8:backslashreplace \
    ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$venv/bin/python" "$root/fuzz/fuzz_python.py" "$out/corpus" "$root/fuzz/seeds/python" \
    -max_total_time="$seconds" -max_len=512 -timeout=30 -rss_limit_mb=4096 \
    -artifact_prefix="$out/findings/" -print_final_stats=1 >/dev/null 2>"$out/fuzz.log" || status=1
grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)|^#[0-9]+[[:space:]]+DONE' \
    "$out/fuzz.log" | sed 's/^/   fuzz_python: /' || true
if ((status)); then
    tail -n 40 "$out/fuzz.log"
    echo "   fuzz_python: FAILED"
else
    echo "   fuzz_python: ok"
fi
exit $status
