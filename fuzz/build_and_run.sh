#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build/fuzz/, then runs them for a bounded
# time from the committed seeds in fuzz/seeds/.
#
#   FUZZ_SECONDS  total running time in seconds, shared by the two targets
#                 (default 180: two thirds for fuzz_parse, the rest for
#                 fuzz_match_raw)
#   FUZZ_CXX      compiler (default clang++-14)
#   FUZZ_JOBS     parallel compiler processes (default 2)
#
# New corpus entries go to build/fuzz/corpus/<target>/, crashing inputs to
# build/fuzz/findings/. Exits non-zero when a target finds a fault.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
cxx=${FUZZ_CXX:-clang++-14}
jobs=${FUZZ_JOBS:-2}
seconds=${FUZZ_SECONDS:-180}

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cxxflags="-std=c++20 -O1 -g $sanitize -I$root/src -I$root/fuzz"

mkdir -p "$out/obj" "$out/findings"

# The parse path of the core (model, grammar, report, Unicode tables; the
# subsystems in subdirectories such as logging are not on it) with the POSIX
# side of the platform seam, instrumented for coverage without libFuzzer's main.
mapfile -t sources < <({ find "$root/src/core" -maxdepth 1 -name '*.cpp'
                         find "$root/src/core/platform" -name '*.cpp' ! -name '*_windows.cpp'; } | sort)
printf '%s\n' "${sources[@]}" | xargs -P "$jobs" -I{} sh -c '
    src="$1"; obj="$2/obj/$(echo "${src#$3/}" | tr / _).o"
    exec '"$cxx $cxxflags"' -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
' _ {} "$out" "$root"
objects=()
for src in "${sources[@]}"; do
    rel=${src#"$root"/}
    objects+=("$out/obj/${rel//\//_}.o")
done

targets=(fuzz_parse fuzz_match_raw)
for target in "${targets[@]}"; do
    # shellcheck disable=SC2086
    $cxx $cxxflags -fsanitize=fuzzer "$root/fuzz/$target.cpp" "${objects[@]}" -pthread -o "$out/$target"
done

parse_seconds=$((seconds * 2 / 3))
raw_seconds=$((seconds - parse_seconds))
status=0
run() {
    local target=$1 time=$2
    mkdir -p "$out/corpus/$target"
    echo "== $target for ${time}s"
    "$out/$target" "$out/corpus/$target" "$root/fuzz/seeds" \
        -dict="$root/fuzz/version.dict" -max_total_time="$time" -max_len=4096 -timeout=10 \
        -artifact_prefix="$out/findings/$target-" -print_final_stats=1 || status=1
}
run fuzz_parse "$parse_seconds"
run fuzz_match_raw "$raw_seconds"
exit $status
