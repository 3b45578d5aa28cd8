#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test; then a short run of every fuzz target
# (QUILLON_FUZZ_SECONDS each, default 3; 0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
ctest --preset default -j2
fuzz_seconds="${QUILLON_FUZZ_SECONDS:-3}"
if [ "$fuzz_seconds" != 0 ]; then
    scripts/fuzz.sh "$fuzz_seconds"
fi
