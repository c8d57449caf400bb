#!/usr/bin/env bash
# Builds the fuzz targets listed in fuzz/targets.txt with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer into build/fuzz/ (the CMake
# preset fuzz; cmake and ninja on PATH), then runs each for a bounded time
# from its committed seeds in fuzz/seeds/.
#
#   FUZZ_SECONDS   running time of each target in seconds (default 60)
#   FUZZ_TARGETS   the targets to run, separated by spaces (default: all)
#   FUZZ_PARALLEL  how many targets run at once (default 1)
#   FUZZ_CXX       compiler (default clang++-16: the core uses
#                  std::source_location, which clang 14 cannot compile)
#   FUZZ_JOBS      parallel compiler processes (default 2)
#
# New corpus entries go to build/fuzz/corpus/<target>/, crashing inputs to
# build/fuzz/findings/, each run's log to build/fuzz/<target>.log. Exits
# non-zero when a target finds a fault.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
cxx=${FUZZ_CXX:-clang++-16}
jobs=${FUZZ_JOBS:-2}
seconds=${FUZZ_SECONDS:-60}
parallel=${FUZZ_PARALLEL:-1}

declare -A seeds_of dict_of
all_targets=()
while read -r target seeds dict; do
    [[ -z "$target" || "$target" == \#* ]] && continue
    all_targets+=("$target")
    seeds_of[$target]=$seeds
    dict_of[$target]=$dict
done <"$root/fuzz/targets.txt"
read -r -a targets <<<"${FUZZ_TARGETS:-${all_targets[*]}}"
for target in "${targets[@]}"; do
    [[ -n "${seeds_of[$target]:-}" ]] || { echo "unknown fuzz target: $target" >&2; exit 2; }
done

mkdir -p "$out/findings"

# The targets, linked with the parser library, all instrumented with the
# sanitizers and for coverage (the preset fuzz, built in build/fuzz).
cd "$root"
cmake --preset fuzz -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build --preset fuzz -j "$jobs" --target "${targets[@]}"

run() {
    local target=$1
    mkdir -p "$out/corpus/$target"
    "$out/$target" "$out/corpus/$target" "$root/fuzz/seeds/${seeds_of[$target]}" \
        -dict="$root/fuzz/${dict_of[$target]}" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -artifact_prefix="$out/findings/$target-" -print_final_stats=1 >"$out/$target.log" 2>&1
}

status=0
pending=("${targets[@]}")
while ((${#pending[@]} > 0)); do
    batch=("${pending[@]:0:parallel}")
    pending=("${pending[@]:parallel}")
    pids=()
    for target in "${batch[@]}"; do
        echo "== $target for ${seconds}s (log: build/fuzz/$target.log)"
        run "$target" &
        pids+=($!)
    done
    for i in "${!pids[@]}"; do
        target=${batch[$i]}
        if wait "${pids[$i]}"; then result=ok; else result=FAILED; status=1; fi
        # The closing statistics: executions, speed, coverage reached.
        grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)|^#[0-9]+[[:space:]]+DONE' \
            "$out/$target.log" | sed "s/^/   $target: /" || true
        echo "   $target: $result"
        [[ $result == ok ]] || tail -n 30 "$out/$target.log"
    done
done
exit $status
