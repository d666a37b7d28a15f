#!/usr/bin/env bash
# Configures and builds Quorvel into build/ (or $QUORVEL_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUORVEL_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build"
