#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan into build-fuzz (or
# $QUORVEL_BUILD_DIR) and runs one of them, or all in turn, for SECONDS each:
#   scripts/fuzz.sh NAME|all SECONDS
# NAME is a file tests/fuzz/NAMEFuzz.cpp. The seeds in tests/fuzz/corpus/NAME
# are read, and the dictionary tests/fuzz/NAME.dict where there is one; what
# the run finds goes to build-fuzz/corpus/NAME, a crashing input to
# build-fuzz/crash-NAME-*.
set -euo pipefail
cd "$(dirname "$0")/.."
# ccache keys on paths relative to the checkout, so a fresh clone reuses what
# an earlier clone compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
which="${1:?usage: scripts/fuzz.sh NAME|all SECONDS}"
seconds="${2:?usage: scripts/fuzz.sh NAME|all SECONDS}"
build="${QUORVEL_BUILD_DIR:-build-fuzz}"
if [ "$which" = all ]; then
  names=()
  for f in tests/fuzz/*Fuzz.cpp; do names+=("$(basename "$f" Fuzz.cpp)"); done
else
  [ -f "tests/fuzz/${which}Fuzz.cpp" ] || { echo "no fuzz target $which (tests/fuzz/${which}Fuzz.cpp)" >&2; exit 2; }
  names=("$which")
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_GUI=OFF -DQUORVEL_FUZZ=ON \
  "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${names[@]/#/fuzz_}" -- -j"${QUORVEL_JOBS:-2}"
export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
for name in "${names[@]}"; do
  mkdir -p "$build/corpus/$name"
  echo "fuzzing $name for $seconds s"
  dict=()
  [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")
  "$build/fuzz_$name" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/crash-$name-" "$build/corpus/$name" "tests/fuzz/corpus/$name" 2>"$build/fuzz-$name.log" ||
    { tail -n 40 "$build/fuzz-$name.log" >&2; echo "fuzzing $name found a fault" >&2; exit 1; }
  grep -E '^stat::number_of_executed_runs|^Done' "$build/fuzz-$name.log" | tr '\n' ' '; echo
done
