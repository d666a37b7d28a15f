#!/usr/bin/env bash
# Configures and builds Quorvel into build/ (or $QUORVEL_BUILD_DIR).
# Uses ccache when it is installed, so rebuilds of a clean clone are quick.
# Under CI (CI=true) warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
# ccache keys on paths relative to the checkout, so a fresh clone reuses what
# an earlier clone compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
build="${QUORVEL_BUILD_DIR:-build}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# CI treats a warning as an error; a local build only shows it.
werror=-DQUORVEL_WERROR=OFF
[ "${CI:-}" = true ] && werror=-DQUORVEL_WERROR=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$werror" "${launcher[@]}" "$@" >/dev/null
cmake --build "$build"
