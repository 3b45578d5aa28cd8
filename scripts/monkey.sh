#!/usr/bin/env bash
# A long random run of the window against the simulated box, under ASan+UBSan.
#   scripts/monkey.sh [MINUTES] [SEED]      run MINUTES (default 10) from SEED (default: a fresh one)
#   scripts/monkey.sh --replay SEED [N]     the same actions again (N: how many the failed run did)
# The seed, every action and a table of the longest window stall per action type are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
args=()
if [[ "${1:-}" == --replay ]]; then
    args=(--seed "${2:?--replay needs the seed of the run}" --actions "${3:-1000000}")
else
    args=(--minutes "${1:-10}")
    [[ -n "${2:-}" ]] && args+=(--seed "$2")
fi
cmake --preset asan >/dev/null
cmake --build --preset asan --target window_random_run quillon-workbook-reader >&2
cd build-asan/tests/ui
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec nice -n 10 ./window_random_run "${args[@]}"
