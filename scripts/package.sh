#!/usr/bin/env bash
# Builds the Debian package quorvel_<version>_<arch>.deb into the build folder
# (build/ or $QUORVEL_BUILD_DIR) and prints its path. Configures and builds
# first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUORVEL_BUILD_DIR:-build}"
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"
(cd "$build" && rm -f quorvel_*.deb && cpack -G DEB >/dev/null)
ls "$build"/quorvel_*.deb
