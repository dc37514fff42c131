#!/usr/bin/env bash
# Installs what is missing, builds, and starts Lumaret.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
lumaret_ensure_packages
lumaret_build default
./build/default/bench/serial_timing
