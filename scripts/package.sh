#!/usr/bin/env bash
# Builds the Debian package in release mode (build/package), prints its path and checks it with
# lintian: errors fail the script, warnings are shown. BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh dpkg-dev lintian
build="${BUILD_DIR:-build/package}"
# Only what the package holds is built (not the tests); cpack then installs without building all.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build "$build" -j"$(nproc)" --target esp8266-console esp8266-sim desktop_files
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/esp8266-console_*.deb)
echo "package: $deb"
lintian --fail-on error --info "$deb"
