#!/usr/bin/env bash
# Sets up the machine, builds, starts the simulated box and opens the window against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
sim=build/sim/quillon-stbsim
# The live log goes to port 514 as on a real box, when this user may receive there; else to 5514.
if [ -z "${LIVE_LOG_PORT:-}" ]; then
    LIVE_LOG_PORT=5514
    if [ "$(id -u)" = 0 ] || [ "$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start 2>/dev/null || echo 1024)" -le 514 ]; then
        LIVE_LOG_PORT=514
    fi
fi
if [ -x "$sim" ]; then
    "$sim" --listen 127.0.0.1:9003 --log-port "$LIVE_LOG_PORT" &
    sim_pid=$!
    trap 'kill $sim_pid 2>/dev/null || true' EXIT
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" build/ui/quillon --live-log-port "$LIVE_LOG_PORT" "$@"
    exit
fi
build/ui/quillon --live-log-port "$LIVE_LOG_PORT" "$@"
