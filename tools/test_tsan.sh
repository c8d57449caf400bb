#!/usr/bin/env bash
# The extension built with ThreadSanitizer (the preset tsan, in build/tsan),
# installed into the virtualenv VENV, and the suite's thread, exit, fork and
# signal tests run with the runtime preloaded into its interpreter, which is
# not instrumented itself.
#
#   tools/test_tsan.sh VENV [PYTEST ARGUMENTS...]
#   JOBS  parallel compiler processes (default 2)
#
# Every process of the run (pytest and the children the tests start, which
# inherit the environment) writes its reports to a file of its own in
# build/tsan/reports. A report that names a frame or a global of the
# extension fails the run, whichever process it came from
# (tools/tsan_reports.py judges), and so does any report that ends pytest's
# own process, or a child a test checks, with the status 66 the options
# below set. Suppressions are in tools/tsan.supp.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"
venv=$(realpath "$1")
shift
python="$venv/bin/python"
export PATH="$venv/bin:$PATH"
echo "building the extension with ThreadSanitizer for $("$python" -V) (about 4 minutes the first time)"
cmake --preset tsan -DPython_EXECUTABLE="$python" >/dev/null
cmake --build --preset tsan -j "${JOBS:-2}"
extension=$(cd build/tsan && ls vorna.*.so)
site=$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')
with_venv_lock "$venv" bash -c "rm -f '$site'/vorna.*.so && cmake --install build/tsan --prefix '$site' >/dev/null"
# The runtime the extension was linked against, preloaded: an extension
# loaded later cannot bring it (its thread-local block must exist from the
# start of the process).
runtime=$(ldd "build/tsan/$extension" | awk '$1 ~ /^libtsan/ { print $3 }')
[[ -f "$runtime" ]] || { echo "build/tsan/$extension names no ThreadSanitizer runtime" >&2; exit 1; }

reports=$root/build/tsan/reports
rm -rf "$reports"
mkdir -p "$reports"
# die_after_fork=0: a child forked from a process with threads may start
# threads of its own (the runtime would end it otherwise). Such a child runs
# with the runtime's checks off, by the runtime's own rule (its locks may have
# been held at the fork); the children of a process without threads and those
# that exec a new program are checked.
# report_signal_unsafe stays on: the interpreter's own C handler only flags
# the signal (Python handlers run later, between bytecodes), so an unsafe call
# in a handler's context could only be the extension's.
# PYTHONMALLOC=malloc: the runtime sees every allocation of the interpreter,
# so memory the allocator hands from one object to the next is not taken for
# one object shared without order.
export TSAN_OPTIONS="log_path=$reports/tsan:suppressions=$root/tools/tsan.supp:halt_on_error=0:exitcode=66:die_after_fork=0:second_deadlock_stack=1:history_size=4"
export PYTHONMALLOC=malloc

# The newest kernels randomise mappings more widely than some runtimes can
# place their shadow memory in; those runs need address randomisation off
# (setarch itself then runs without the runtime, which would fail in it too).
launcher=()
preloaded() { "${launcher[@]}" env LD_PRELOAD="$runtime" "$@"; }
probe() { TSAN_OPTIONS="$TSAN_OPTIONS:log_path=stderr" preloaded "$python" -c "import vorna" 2>&1; }
if ! out=$(probe); then
    if [[ "$out" == *"unexpected memory mapping"* || "$out" == *"unsupported VMA range"* ]]; then
        echo "ThreadSanitizer cannot map its shadow memory here; running with address randomisation off"
        launcher=(setarch "$(uname -m)" -R)
        out=$(probe) || { echo "$out" >&2; exit 1; }
    else
        echo "$out" >&2
        exit 1
    fi
fi

# The check checked: a race on purpose, in a child process, must end it with
# the status 66 and leave a report that the judge gives to its library.
canary=$root/build/tsan/libvorna_tsan_canary.so
preloaded "$python" -c "if 1:
    import subprocess, sys
    child = subprocess.run([sys.executable, '-c', 'import ctypes; ctypes.CDLL(\"$canary\").vorna_tsan_canary_race()'])
    sys.exit(child.returncode != 66)" ||
    { echo "the race of $canary did not end its process with status 66" >&2; exit 1; }
if "$python" tools/tsan_reports.py "$reports" "$(basename "$canary")" >/dev/null; then
    echo "the race of $canary left no report in $reports: a run without reports would prove nothing" >&2
    exit 1
fi
# And stores that the interpreter lock orders, from two threads, must not be
# reported: the runtime sees the lock's mutex.
preloaded "$python" -c "if 1:
    import ctypes, sys, threading
    sys.setswitchinterval(1e-6)
    store = ctypes.PyDLL('$canary').vorna_tsan_canary_store
    threads = [threading.Thread(target=lambda: [store(i) for i in range(2000)]) for _ in range(2)]
    for thread in threads: thread.start()
    for thread in threads: thread.join()" ||
    { echo "stores ordered by the interpreter lock were reported: the runtime does not see that lock" >&2; exit 1; }
rm -rf "$reports"/*

# The tests named for threads, fork(), signals and exit, and every test of
# the standard output's lifecycle, whatever they are named.
selection="thread or fork or signal or exit or finaliz or daemon or interrupt or concurrent or lifecycle"
status=0
preloaded "$python" -m pytest -q -p no:cacheprovider tests/python -k "$selection" "$@" ||
    status=$?
"$python" tools/tsan_reports.py "$reports" "$extension" || status=1
if ((status != 0)); then
    echo "test-tsan: FAILED (the reports of each process are in $reports)" >&2
    exit 1
fi
echo "test-tsan: no ThreadSanitizer report in the extension's frames"
