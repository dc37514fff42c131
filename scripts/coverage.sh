#!/usr/bin/env bash
# Line coverage of src/ over the default test suite: builds build/coverage
# (g++, no optimizing, --coverage, no benches), runs every test in it and
# prints gcovr's summary, one line per file and the total for src/.
#   scripts/coverage.sh [CTEST ARGS...]     e.g. -j 4, or -R Export to run only some
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
cd "$root"
source scripts/deps.sh
lumaret_ensure_packages
if ! command -v gcovr >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "coverage: gcovr is missing; install it with: sudo apt-get install -y gcovr" >&2
        exit 1
    fi
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq gcovr >/dev/null
fi
build=build/coverage
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
      -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS=--coverage \
      -DLUMARET_BENCH=OFF >/dev/null
cmake --build "$build"
# Counts from an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --timeout 300 -j 4 "$@" || true
gcovr --root . --filter 'src/' --object-directory "$build" --gcov-ignore-parse-errors \
      --print-summary "$build" | tail -n 60
