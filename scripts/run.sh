#!/usr/bin/env bash
# Sets up the machine, builds, starts the simulated box and opens the window against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
sim=build/sim/quillon-stbsim
if [ -x "$sim" ]; then
    "$sim" --listen 127.0.0.1:9003 &
    sim_pid=$!
    trap 'kill $sim_pid 2>/dev/null || true' EXIT
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" build/ui/quillon "$@"
    exit
fi
build/ui/quillon "$@"
