#!/usr/bin/env bash
# Sets up, builds and starts the console.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$(nproc)" --target esp8266-console
exec build/release/app/esp8266-console "$@"
