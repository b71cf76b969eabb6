#!/usr/bin/env bash
# Soak run, not part of CI: the window drives the module simulator round after round (open, AT, join,
# a TCP link back to the window, data both ways, close; now and then the device vanishes) for the
# given time, default 600 s, printing resident memory and open descriptors every 10 s. Steady
# figures mean nothing accumulates. BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
bash scripts/setup.sh
build="${BUILD_DIR:-build/soak}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target soak_driver
QT_QPA_PLATFORM=offscreen "$build/tools/soak/soak_driver" "$seconds"
