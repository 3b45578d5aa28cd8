#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test; then builds the ThreadSanitizer preset (no
# window) and runs the threaded tests once more under it (QUILLON_SKIP_TSAN=1 leaves that out);
# then a short run of every fuzz target (QUILLON_FUZZ_SECONDS each, default 3; 0 skips it).
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
fuzz_seconds="${QUILLON_FUZZ_SECONDS:-3}"
if [ "$fuzz_seconds" != 0 ]; then
    scripts/fuzz.sh "$fuzz_seconds"
fi
