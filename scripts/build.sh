#!/usr/bin/env bash
# Configures and builds Quorvel into build/ (or $QUORVEL_BUILD_DIR).
# Uses ccache when it is installed, so rebuilds of a clean clone are quick.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUORVEL_BUILD_DIR:-build}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$build"
