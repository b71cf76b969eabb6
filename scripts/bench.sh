#!/usr/bin/env bash
# Builds the console and its benchmark in release mode and runs every benchmark case (a minute or two).
# Arguments name cases to run only those; BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${BUILD_DIR:-build/release}"
# The fonts a desktop has for the scripts the mixed-script case pastes: without them every first line
# in such a script searches all fonts in vain.
bash scripts/setup.sh fonts-noto-core fonts-noto-color-emoji
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)" --target console-bench
exec "$build/bench/console-bench" "$@"
