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
    [ -x "$bin/sim/lumaret-demo" ] && "$bin/sim/lumaret-demo"
    exit 0
fi

"$sim" --port COM9 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set)."
    echo "Serving the window over VNC: connect a VNC viewer to localhost:5900"
    export QT_QPA_PLATFORM=vnc:size=800x600:port=5900
fi
"$app"
