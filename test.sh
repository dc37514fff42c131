#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
lumaret_ensure_packages
lumaret_build default
export QT_QPA_PLATFORM=offscreen
ctest --preset default
