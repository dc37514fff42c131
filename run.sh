#!/usr/bin/env bash
# Installs what is missing, builds, and starts Lumaret on the simulated module.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
lumaret_ensure_packages
lumaret_build default

bin=build/default
sim=$bin/sim/lumaret-sim
app=$bin/src/app/lumaret

if [ ! -x "$app" ]; then
    # No window in this build yet: show the serial timing and one exchange of each kind.
    "$bin/bench/serial_timing"
    [ -x "$bin/examples/lumaret-demo" ] && "$bin/examples/lumaret-demo"
    exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set)."
    # A virtual display served over VNC on the loopback interface, behind a password.
    exec scripts/headless.sh "$sim" "$app"
fi

"$sim" --port COM9 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
"$app"
