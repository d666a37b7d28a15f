#!/usr/bin/env bash
# Builds the Qt-free parts (fdl, serial, dp, sim, the application core, the
# module core and quorvel-cli, with their tests) with one sanitizer
# and runs their tests: scripts/sanitize.sh tsan|asan [ctest arguments...].
# Build dir: build-tsan or build-asan (or $QUORVEL_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
# ccache keys on paths relative to the checkout, so a fresh clone reuses what
# an earlier clone compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
kind="${1:?usage: scripts/sanitize.sh tsan|asan [ctest arguments...]}"
shift
case "$kind" in
  tsan) option=-DQUORVEL_TSAN=ON ;;
  asan) option=-DQUORVEL_ASAN=ON ;;
  *) echo "unknown sanitizer: $kind (tsan or asan)" >&2; exit 2 ;;
esac
build="${QUORVEL_BUILD_DIR:-build-$kind}"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
werror=-DQUORVEL_WERROR=OFF
[ "${CI:-}" = true ] && werror=-DQUORVEL_WERROR=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_GUI=OFF "$option" "$werror" \
  "${launcher[@]}" >/dev/null
# Only what the Qt-free tests need.
targets=(port_table_test velt_errors_test comm_unit_test dispatcher_buffer_test dispatcher_life_test
  dispatcher_line_test dispatcher_notify_test velt_port_test dp_telegram_test dp_master_test
  sim_model_test sim_process_test quorvel-slave fdl_framing_test test_core module_core_tests cli_options_test
  cli_link_test quorvel-cli mqtt_gateway_test)
cmake --build "$build" --target "${targets[@]}" -- -j"${QUORVEL_JOBS:-2}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
ctest --test-dir "$build" -L 'fdl|serial|dp|sim|core|module|cli' --output-on-failure -j2 "$@"
