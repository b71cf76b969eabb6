#!/usr/bin/env bash
# Builds the console and its benchmark in release mode and runs every benchmark case (a minute or two).
# Arguments name cases to run only those; BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${BUILD_DIR:-build/release}"
bash scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)" --target console-bench
exec "$build/bench/console-bench" "$@"
