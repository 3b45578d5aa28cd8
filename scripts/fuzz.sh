#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target in fuzz/ in turn, SECONDS each (default
# 60), starting from its seed corpus (fuzz/corpus/<target>/) and its dictionary. What a run adds
# to the corpus stays in build-fuzz/corpus/; a finding is written as build-fuzz/findings/<target>-*
# and makes the script fail.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
cmake --preset fuzz >/dev/null
mkdir -p build-fuzz
cmake --build --preset fuzz -j2 >build-fuzz/build.log || { tail -n 40 build-fuzz/build.log; exit 1; }
targets=("$@")
if ((${#targets[@]} == 0)); then
    for source in fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
mkdir -p build-fuzz/findings
failed=0
for target in "${targets[@]}"; do
    work="build-fuzz/corpus/$target"
    mkdir -p "$work"
    args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix="build-fuzz/findings/$target-")
    [ -f "fuzz/$target.dict" ] && args+=(-dict="fuzz/$target.dict")
    seeds=()
    [ -d "fuzz/corpus/$target" ] && seeds+=("fuzz/corpus/$target")
    log="build-fuzz/$target.log"
    if "build-fuzz/fuzz/$target" "${args[@]}" "$work" "${seeds[@]}" >"$log" 2>&1; then
        execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
        echo "fuzz: $target: $execs runs, coverage $cov, no finding"
    else
        echo "fuzz: $target: FINDING (see $log)"
        tail -n 30 "$log" >&2
        failed=1
    fi
done
exit $failed
