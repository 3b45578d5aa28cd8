#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test; then builds the ThreadSanitizer preset (no
# window) and runs the threaded tests once more under it (QUILLON_SKIP_TSAN=1 leaves that out);
# then the window's tests and a short random run of the window under ASan+UBSan
# (QUILLON_SKIP_ASAN_WINDOW=1 leaves that out); then a short run of every fuzz target
# (QUILLON_FUZZ_SECONDS each, default 3; 0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
ctest --preset default -j2
if [[ "${QUILLON_SKIP_TSAN:-0}" != 1 ]]; then
    scripts/build.sh tsan
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
        ctest --preset tsan -j2 -L threaded
fi
if [[ "${QUILLON_SKIP_ASAN_WINDOW:-0}" != 1 ]]; then
    # The window's tests under ASan+UBSan (only their targets are built), then a short random run
    # of the window: one fixed seed and one fresh seed, printed so that a failure can be repeated.
    cmake --preset asan >/dev/null
    cmake --build --preset asan --target window_tests
    fresh_seed="$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')"
    (
        export ASAN_OPTIONS="halt_on_error=1 ${ASAN_OPTIONS:-}"
        export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
        ctest --preset asan -j2 -L window
        echo "random run of the window: seeds 1 and $fresh_seed" >&2
        cd build-asan/tests/ui
        QT_QPA_PLATFORM=offscreen ./window_random_run --seed 1 --minutes 0.5
        QT_QPA_PLATFORM=offscreen ./window_random_run --seed "$fresh_seed" --minutes 0.5
    )
fi
fuzz_seconds="${QUILLON_FUZZ_SECONDS:-3}"
if [ "$fuzz_seconds" != 0 ]; then
    scripts/fuzz.sh "$fuzz_seconds"
fi
